#pragma once

// The store's connection and query layer: the one connection, its transactions, queries
// and fields, and the durability checks. Each lives in a file of its own; this header
// brings them together for the code that uses the store.

#include "store/ZvDbConnection.h"
#include "store/ZvDbField.h"
#include "store/ZvDbQuery.h"
#include "store/ZvDbTransaction.h"
#include "store/ZvDurability.h"
