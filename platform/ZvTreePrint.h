#pragma once

// Printing the tree as it is shown: the rows of the current view painted with QPainter on
// the printer (so a PDF keeps real text), scaled from screen to printer by the ratio of
// the font heights, over as many pages as needed. There is no header to print.

#include "store/ZvSeams.h"

#include <vector>

class QPrinter;
class QWidget;

namespace zv {

class TZvTree;

// The print dialog on the caller's printer; true when the user chose to print.
struct PrintDialogRequest
{
    QWidget* parent = nullptr;
    QPrinter* printer = nullptr;
};
TZvSeam<PrintDialogRequest, bool>& PrintDialogSeam();

// One piece of a printed row: the part [from, from + height) of row `row` goes on page
// `page` (0-based) with its top at `y`.
struct TPrintSlice
{
    int row = 0;
    int page = 0;
    int y = 0;
    int from = 0;
    int height = 0;

    bool operator==(const TPrintSlice&) const = default;
};

// Lays out rows of the given heights on pages of pageHeight. A row that does not fit in
// the rest of a page starts the next page; a row taller than a page is split over as many
// pages as it needs, each piece ending at the last of the row's line edges (lineEdges[row]:
// the bottoms of its text lines, from its top) that fits on the page, so no line of text
// is cut in two; without an edge there, at the page's end.
std::vector<TPrintSlice> PlanPrintedRows(const std::vector<int>& rowHeights, int pageHeight,
                                         const std::vector<std::vector<int>>& lineEdges = {});

// The Print action after the frame's editing guard: the print dialog on the caller's
// printer (PrintDialogSeam), then the tree as shown. False when the user cancelled; a
// printer failure raises EZvError.
bool PrintTree(QWidget* parent, QPrinter& printer, TZvTree& tree);

// The real handler of PrintDialogSeam: QPrintDialog on the printer.
bool RunPrintDialog(const PrintDialogRequest& request);

} // namespace zv
