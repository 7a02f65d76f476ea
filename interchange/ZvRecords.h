#pragma once

#include "store/ZvDateTime.h"

#include <QString>
#include <vector>

namespace zv {

// Plain data: the record a task node carries, one row of the tasks table.
struct TTaskInfo
{
    QString tid;
    QString pid;
    QString content;
    bool checkFlag = false;
    bool dueFlag = false;
    bool alarmFlag = false;
    bool expandFlag = false;
    int textColor = 0;
    int backgroundColor = 0;
    TDateTime createTime = 0;
    TDateTime editTime = 0;
    TDateTime checkTime = 0;
    TDateTime alarmTime = 0;
    TDateTime dueTime = 0;
    int imageIndex = -1;
};

// The record a memo node carries: one row of the memos table.
struct TMemoInfo
{
    QString mid;
    QString pid;
    QString content;
    bool expandFlag = false;
    TDateTime assignTime = 0;
    TDateTime createTime = 0;
    TDateTime editTime = 0;
};

// One selected node as the selection writers get it: its record, its level in the tree
// (0 = top level) and, for a top-level node, the records of all its children in child order.
template <class T> struct SelectedItem
{
    T record;
    int level = 0;
    std::vector<T> children;
};

} // namespace zv
