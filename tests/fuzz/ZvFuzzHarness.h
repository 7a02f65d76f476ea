#pragma once

#include <QByteArray>

namespace zvfuzz {

// Hands one exchange file to restore and then to import, both on a database made from the
// schema (in RAM, /dev/shm), emptied again afterwards. What must hold whatever the bytes:
// nothing crashes or leaks, no row is ever deleted, every failed read has told the user
// (an error box), and no transaction is left open. A broken rule aborts, so the fuzzer
// keeps the input.
void RestoreAndImport(const QByteArray& fileBytes);

} // namespace zvfuzz
