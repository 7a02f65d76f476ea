#include "ZvFuzzHarness.h"

#include "interchange/Dm_Io.h"
#include "store/ZvDb.h"
#include "store/ZvDbCreate.h"
#include "store/ZvSeams.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

namespace zvfuzz {

namespace {

[[noreturn]] void broken(const char* rule)
{
    std::fprintf(stderr, "fuzz harness: %s\n", rule);
    std::abort();
}

QString g_folder; // removed at exit; a crash leaves it for a look

void removeFolder()
{
    if (!g_folder.isEmpty()) QDir(g_folder).removeRecursively();
}

struct Harness
{
    QApplication* app = nullptr;
    std::unique_ptr<zv::TADOConnection> connection;
    std::unique_ptr<zv::TIoDm> io;
    QString inputFile;
    int questions = 0;

    Harness()
    {
        // The progress dialog of a read is a widget: a GUI application, without a screen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "zvfuzz";
        static char* argv[] = {name, nullptr};
        // Never destroyed: at exit, Qt's own globals are gone before any destructor of ours
        // could run, and tearing the application down after them leaks far more.
        app = new QApplication(argc, argv);

        // RAM-backed: every posted row is a durable commit, and a disk would set the pace.
        const QString base =
            QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        g_folder = QStringLiteral("%1/zvfuzz-%2/").arg(base).arg(getpid());
        QDir(g_folder).removeRecursively();
        if (!QDir().mkpath(g_folder)) broken("cannot make the work folder");
        std::atexit(removeFolder);
        inputFile = g_folder + QStringLiteral("input.zvx");

        QFile schema(QStringLiteral(ZVJ_SCHEMA_FILE));
        if (!schema.open(QIODevice::ReadOnly)) broken("cannot read the schema");
        connection = std::make_unique<zv::TADOConnection>();
        connection->setConnectionString(zv::TADOConnection::BuildConnectionString(g_folder));
        zv::CreateDatabaseFile(connection->dataSource(), QString::fromUtf8(schema.readAll()),
                               connection->password());
        connection->Open();

        io = std::make_unique<zv::TIoDm>(connection.get());
        io->setAppVersion(QStringLiteral("1.0.0.1"));
        // The replace question gets every kind of answer in turn: Yes, No, the window
        // frame (skipped like No), All; Abort ends the run, so it comes last.
        io->setAskHandler([this](const zv::TReplaceQuestion&) {
            static const int answers[] = {zv::IdYes, zv::IdNo, zv::IdCancel, zv::IdYes, zv::IdYesToAll};
            const int n = questions++;
            return n < 5 ? answers[n] : (n == 40 ? int(zv::IdAbort) : int(zv::IdYes));
        });
        resetMessages();
    }

    // Boxes are answered, never shown; their history is emptied before every reading
    // operation so that memory does not grow over millions of runs. (A reset may also drop
    // the handler: it is set again each time.)
    static void resetMessages()
    {
        zv::MessageSeam::reset();
        zv::MessageSeam::setHandler([](const zv::MessageRequest& r) {
            return r.buttons == zv::MsgButtons::YesNo ? zv::IdYes : zv::IdOk;
        });
    }

    qint64 rows() const
    {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(connection->handle(),
                               "select (select count(*) from tasks) + (select count(*) from memos)", -1, &s,
                               nullptr) != SQLITE_OK)
            broken("cannot count the rows");
        qint64 n = -1;
        if (sqlite3_step(s) == SQLITE_ROW) n = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
        if (n < 0) broken("cannot count the rows");
        return n;
    }

    // One reading operation and the rules it must keep.
    template <class Op> void read(Op op)
    {
        const qint64 before = rows();
        resetMessages();
        const bool ok = op();
        if (!sqlite3_get_autocommit(connection->handle())) broken("a transaction was left open");
        if (rows() < before) broken("rows were deleted");
        if (!ok && zv::MessageSeam::history().isEmpty()) broken("a read failed without telling the user");
    }

    void run(const QByteArray& bytes)
    {
        QFile f(inputFile);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            broken("cannot write the input file");
        f.close();

        questions = 0;
        // Onto the empty database, then again onto what the first run stored, so that the
        // replace question and the edit of an existing row are reached; then the import.
        read([&] { return io->RestoreFromFile(inputFile); });
        read([&] { return io->RestoreFromFile(inputFile); });
        read([&] { return io->ImportFromFile(inputFile); });

        resetMessages();
        char* err = nullptr;
        if (sqlite3_exec(connection->handle(), "delete from tasks; delete from memos;", nullptr, nullptr,
                         &err) != SQLITE_OK) {
            std::fprintf(stderr, "%s\n", err ? err : "");
            broken("cannot empty the database");
        }
    }
};

} // namespace

void RestoreAndImport(const QByteArray& fileBytes)
{
    static Harness harness;
    harness.run(fileBytes);
}

} // namespace zvfuzz
