#pragma once

#include "interchange/ZvRowChanges.h"

#include <QHash>
#include <QSet>
#include <QUndoCommand>
#include <vector>

namespace zv {

class TZvNode;

// Where an item's node stood: its parent's id (the root marker for the top level) and its
// index among all its siblings, hidden ones counted; an index of -1: not in the tree.
struct TZvTreePlace
{
    QString id;
    QString parentId;
    int index = -1;
};

// One change the user made, as the frame's undo stack keeps it: the rows it touched as they
// were before and after (through the record kind's columns: any kind of change, one shape),
// and where their nodes stood before and after.
//
// The stack keeps the steps, their order, their names and the limit; it applies nothing.
// The frame puts a step's rows and nodes back itself before it moves the stack's index
// (TZvItemFrame::UndoExecute), so that a failed write reaches the error box through no Qt
// code and leaves the stack where it was. So, too, pushing a step made after its change
// does not make the change a second time.
class TZvUndoStep : public QUndoCommand
{
public:
    explicit TZvUndoStep(const QString& name) : QUndoCommand(name) {}
    void undo() override {}
    void redo() override {}

    // Whether a row or a node of one of these items is part of the step.
    bool Touches(const TZvItemTable& table, const QSet<QString>& ids) const;

    std::vector<TZvRowChange> rows;
    std::vector<TZvTreePlace> placesBefore;
    std::vector<TZvTreePlace> placesAfter;
};

// A change while it is recorded (TZvItemFrame::RecordStep): what its items were before.
struct TZvStepRecording
{
    std::vector<TZvNode*> nodes; // in the order they joined
    QSet<TZvNode*> known;
    QSet<TZvNode*> freed;                       // freed since they joined: gone
    QHash<TZvNode*, TZvTreePlace> placesBefore; // of the nodes that had a row
    QStringList rowsOnly;                       // items whose rows alone are watched
    std::vector<TZvRowImage> before;
};

} // namespace zv
