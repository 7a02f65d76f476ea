#include "platform/ZvTreePrint.h"

#include "platform/ZvFileDialog.h"
#include "platform/ZvTree.h"
#include "store/ZvError.h"
#include "store/ZvGuard.h"
#include "store/ZvScopeExit.h"

#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStyleOption>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

namespace zv {

std::vector<TPrintSlice> PlanPrintedRows(const std::vector<int>& rowHeights, int pageHeight,
                                         const std::vector<std::vector<int>>& lineEdges)
{
    std::vector<TPrintSlice> plan;
    pageHeight = std::max(1, pageHeight);
    int page = 0;
    int y = 0;
    for (int row = 0; row < int(rowHeights.size()); ++row) {
        const int h = std::max(0, rowHeights[size_t(row)]);
        if (y > 0 && y + h > pageHeight) {
            ++page;
            y = 0;
        }
        if (h <= pageHeight) {
            plan.push_back({row, page, y, 0, h});
            y += h;
            continue;
        }
        // Taller than a page (and y is 0 here): one piece a page.
        static const std::vector<int> none;
        const std::vector<int>& edges = size_t(row) < lineEdges.size() ? lineEdges[size_t(row)] : none;
        int from = 0;
        while (from < h) {
            int take = std::min(h - from, pageHeight);
            if (from + take < h) {
                const auto last = std::upper_bound(edges.begin(), edges.end(), from + pageHeight);
                if (last != edges.begin() && *(last - 1) > from) take = *(last - 1) - from;
            }
            plan.push_back({row, page, 0, from, take});
            from += take;
            if (from < h) ++page;
            y = take;
        }
    }
    return plan;
}

namespace {

// The text of a row split over pages, laid out line by line, so that each page gets just
// the lines that lie on it: clipping alone would hide the others on paper but keep them in
// the PDF's text.
struct SplitText
{
    QFont font;
    QColor color;
    QRect cell;
    std::unique_ptr<QTextLayout> layout;
    std::vector<int> edges; // bottoms of the lines, from the row's top
};

} // namespace

int TZvTree::printTo(QPagedPaintDevice* device)
{
    if (!device) return 0;
    executeDelayedItemsLayout();

    // The rows of the current view, expanded and collapsed as on screen.
    std::vector<TZvNode*> rows;
    std::vector<int> heights;
    for (int row = 0, count = m_layout.rowCount(); row < count; ++row) {
        rows.push_back(m_layout.nodeAt(row));
        heights.push_back(m_layout.measure(row));
    }

    QPainter p;
    if (!p.begin(device)) throw EZvError(tr("Printer error"));
    // Screen pixels to printer pixels by the font heights; narrower when the rows would
    // not fit the page's width.
    const int screenLine = std::max(1, fontMetrics().height());
    // The tree's font is sized in pixels, which a printer takes as its own tiny dots: the
    // printer's line is that of the same font at the size it has on screen in points.
    QFont printFont = font();
    if (printFont.pixelSize() > 0)
        printFont.setPointSizeF(printFont.pixelSize() * 72.0 / std::max(1, logicalDpiY()));
    const int printLine = QFontMetrics(printFont, device).height();
    const int width = std::max(1, viewport()->width());
    double scale = double(std::max(1, printLine)) / screenLine;
    if (width * scale > device->width()) scale = double(device->width()) / width;
    p.scale(scale, scale);
    const int pageH = std::max(1, int(device->height() / scale));
    const QRect page(0, 0, std::max(width, int(device->width() / scale)), pageH);

    // Rows taller than a page: their lines, and where a page may end between them.
    std::map<int, SplitText> split;
    std::vector<std::vector<int>> edges(rows.size());
    for (int i = 0; i < int(rows.size()); ++i) {
        if (heights[size_t(i)] <= pageH) continue;
        TZvNode* node = rows[size_t(i)];
        SplitText& s = split[i];
        s.cell = cellLayout(node, itemRectFor(node, QRect(0, 0, width, heights[size_t(i)]))).text;
        s.font = font();
        s.color = Qt::black;
        QString text;
        Guarded([&] {
            text = nodeText(node);
            if (events.PaintText) events.PaintText(node, s.font, s.color);
        });
        s.font.setPixelSize(QFontInfo(s.font).pixelSize());
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        if (!node->isMultiLine()) text.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text.replace(QLatin1Char('\n'), QChar::LineSeparator);
        s.layout = std::make_unique<QTextLayout>(text, s.font);
        QTextOption option;
        option.setWrapMode(node->isMultiLine() ? QTextOption::WordWrap : QTextOption::NoWrap);
        s.layout->setTextOption(option);
        s.layout->beginLayout();
        qreal y = 0;
        for (QTextLine line = s.layout->createLine(); line.isValid(); line = s.layout->createLine()) {
            line.setLeadingIncluded(true);
            line.setLineWidth(s.cell.width());
            line.setPosition(QPointF(0, y));
            y += line.height();
            s.edges.push_back(s.cell.top() + int(std::ceil(y)));
        }
        s.layout->endLayout();
        edges[size_t(i)] = s.edges;
    }
    const std::vector<TPrintSlice> plan = PlanPrintedRows(heights, pageH, edges);

    // The hot highlight belongs to the mouse, not to paper.
    TZvNode* hot = m_hot;
    m_hot = nullptr;
    const auto restoreHot = ScopeExit([&] { m_hot = hot; });
    int pages = 1;
    try {
        p.fillRect(page, Qt::white);
        for (const TPrintSlice& s : plan) {
            if (s.page + 1 > pages) {
                if (!device->newPage()) throw EZvError(tr("Printer error"));
                ++pages;
                p.fillRect(page, Qt::white);
            }
            TZvNode* node = rows[size_t(s.row)];
            const QRect row(0, 0, width, heights[size_t(s.row)]);
            p.save();
            p.translate(0, s.y - s.from);
            p.setClipRect(QRect(0, s.from, width, s.height));
            const auto found = split.find(s.row);
            if (found == split.end()) {
                paintRow(&p, node, row, false, true);
            } else {
                // Everything but the text, then the lines of this piece.
                const auto getText = events.GetText;
                const auto restoreText = ScopeExit([&] { events.GetText = getText; });
                events.GetText = [](TZvNode*) { return QString(); };
                paintRow(&p, node, row, false, true);
                events.GetText = getText;
                const SplitText& t = found->second;
                p.setFont(t.font);
                p.setPen(t.color);
                // The last piece also takes lines the row's measured height left no room for.
                const bool lastPiece = s.from + s.height >= row.height();
                for (int i = 0; i < t.layout->lineCount(); ++i) {
                    const int bottom = t.edges[size_t(i)];
                    const int top = i == 0 ? t.cell.top() : t.edges[size_t(i) - 1];
                    if (top >= s.from && (lastPiece || bottom <= s.from + s.height))
                        t.layout->lineAt(i).draw(&p, QPointF(t.cell.left(), t.cell.top()));
                }
            }
            if (!node->m_shown.empty()) {
                QStyleOption opt;
                opt.initFrom(this);
                opt.rect = buttonRect(node, row);
                opt.state = QStyle::State_Item | QStyle::State_Children | QStyle::State_Enabled;
                if (isExpanded(m_model->indexOf(node))) opt.state |= QStyle::State_Open;
                style()->drawPrimitive(QStyle::PE_IndicatorBranch, &opt, &p, this);
            }
            p.restore();
        }
    } catch (...) {
        p.end();
        throw;
    }
    if (!p.end()) throw EZvError(tr("Printer error"));
    return pages;
}

TZvSeam<PrintDialogRequest, bool>& PrintDialogSeam()
{
    static TZvSeam<PrintDialogRequest, bool> seam([](const PrintDialogRequest&) { return false; });
    return seam;
}

bool PrintTree(QWidget* parent, QPrinter& printer, TZvTree& tree)
{
    const bool chosen = PrintDialogSeam().call(PrintDialogRequest{parent, &printer});
    CheckDatabaseLocks("the print dialog");
    if (!chosen) return false;
    // Printing into the database file would overwrite it.
    if (printer.outputFormat() == QPrinter::PdfFormat) RefuseDatabaseFile(printer.outputFileName());
    tree.printTo(&printer);
    if (printer.printerState() == QPrinter::Error) throw EZvError(TZvTree::tr("Printer error"));
    return true;
}

bool RunPrintDialog(const PrintDialogRequest& request)
{
    if (!request.printer) return false;
    QPrintDialog dialog(request.printer, request.parent);
    ShieldPrintDialog(dialog);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace zv
