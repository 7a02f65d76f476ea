#pragma once

// The store's connection and query layer: the one connection, its transactions, queries
// and fields, and the durability checks. Each lives in a file of its own; this header
// brings them together for the code that uses the store.

#include "ZvDbConnection.h"
#include "ZvDbField.h"
#include "ZvDbQuery.h"
#include "ZvDbTransaction.h"
#include "ZvDurability.h"
