#pragma once

#include "frames/ZvItemFrame.h"
#include "interchange/ZvExchange.h"
#include "interchange/ZvICalFile.h"
#include "interchange/ZvRecords.h"
#include "interchange/ZvReports.h"
#include "interchange/ZvRows.h"
#include "interchange/ZvSndMsg.h"
#include "platform/ZvTree.h"
#include "platform/ZvTreePrint.h"
#include "store/ZvGuard.h"
#include "store/ZvScopeExit.h"
#include "store/pU_Funcs.h"

#include <vector>

namespace zv {

// A node carries its record; the record itself is plain data of the store.
template <class R> struct TZvRecordNode : TZvNodeData
{
    R record;
};

// The shared frame over one record type: loading, creating, storing and deleting rows
// through the table's gateway. The frames derive from it and add only what differs.
template <class R> class TZvRecordFrame : public TZvItemFrame
{
public:
    using Rows = TZvRows<R>;
    using TZvItemFrame::TZvItemFrame;
    // An edit under way is stored (Exit, session end) while the record part still exists.
    ~TZvRecordFrame() override
    {
        Guarded([this] { FinishEditing(); });
    }

    static R* Info(const TZvNode* node)
    {
        return node ? &static_cast<TZvRecordNode<R>*>(node->data())->record : nullptr;
    }

    // The selection as the exchange and report writers take it, in tree order: a selected
    // top-level item with all its children, hidden ones included.
    std::vector<SelectedItem<R>> SelectionRecords() const
    {
        std::vector<SelectedItem<R>> items;
        for (TZvNode* n : SelectedInTreeOrder()) {
            SelectedItem<R> item;
            item.record = *Info(n);
            item.level = n->level();
            if (n->level() == 0)
                for (int i = 0; i < n->childCount(); ++i)
                    item.children.push_back(*Info(n->child(i)));
            items.push_back(std::move(item));
        }
        return items;
    }

    // Export and Export iCalendar of the selection; their guard keeps them from running
    // during an edit, whose focus their dialog would take.
    void Action_ExportExecute() override
    {
        ExportSelection(host()->window(), SelectionRecords(), host()->appVersion());
    }
    void Action_ExportICalendarExecute() override
    {
        ExportICalendarSelection(host()->window(), SelectionRecords(), host()->appVersion());
    }

    // Save, Save All, E-mail and Print of the selection, by the report module's writers
    // for the record type.
    void SaveExecute(bool all) override
    {
        const TReportSource<R> source{[this] { return SelectionRecords(); }, [this] { SelectAllExecute(); },
                                      [this] { DeselectExecute(); }};
        SaveReport(host()->window(), all, source, host()->appVersion());
    }
    void EmailExecute() override
    {
        if (!m_mailer) m_mailer = new TZvSendMessage(this);
        EmailSelection(*m_mailer, SelectionRecords(), host()->programFolder(), host()->appVersion());
    }
    void PrintExecute() override { PrintTree(host()->window(), host()->printer(), *tree()); }

    void AddFromText(const QString& text) override
    {
        CancelEditFirst();
        StoreFromText(text, StepName("Paste %1", 1));
    }

    QString AddTextFromOutside(const QString& text) override
    {
        return StoreFromText(text, StepName("Add %1", 1));
    }

protected:
    // One new top-level item of the text, stored before it is shown (a failed insert shows
    // no item that is not kept); returns its id. An edit under way goes on.
    QString StoreFromText(const QString& text, const QString& stepName)
    {
        R r = Rows::FromText(text);
        const QString id = Rows::Id(r);
        RecordStep(stepName, {}, false, [&] {
            Rows::InsertFromText(*ADOQuery1, r);
            TZvNode* n = AppendRecord(nullptr, std::move(r));
            NewStepItem(n);
            tree()->invalidateNode(n);
        });
        UpdateActions();
        PastedFromText();
        return id;
    }

    TZvNode* AppendRecord(TZvNode* parent, R&& record)
    {
        auto data = std::make_unique<TZvRecordNode<R>>();
        data->record = std::move(record);
        TZvNode* n = AppendNewNode(parent, std::move(data));
        NodeCreated(n);
        return n;
    }

    TZvItemRef Item(TZvNode* node) const override
    {
        R* r = Info(node);
        return {&Rows::Id(*r), &r->pid, &r->content, &r->expandFlag};
    }

    int CountItems() override { return Rows::Count(*ADOQuery1); }

    void LoadItems() override
    {
        TZvTree* t = tree();
        t->beginUpdate();
        m_loading = true;
        const auto done = ScopeExit([this] {
            m_loading = false;
            tree()->endUpdate();
        });
        // One read transaction for the thousands of statements of a load. It is ended before
        // the tree's update, and rolled back when the reading fails (a damaged file): nothing
        // the failed load did is written.
        TZvTransaction read(host()->connection(), TZvTransaction::Mode::Read);
        Rows::ForEachTwoLevel(*ADOQuery1, [&](R&& top, std::vector<R>&& children) {
            TZvNode* node = AppendRecord(nullptr, std::move(top));
            for (R& child : children)
                AppendRecord(node, std::move(child));
            t->setExpanded(node, Info(node)->expandFlag);
        });
        read.commit();
    }

    TZvNode* NewItemNode(TZvNode* parent, const QString& pid) override
    {
        R r;
        r.pid = pid;
        return AppendRecord(parent, std::move(r));
    }

    void StoreNewText(TZvNode* node, const QString& text) override
    {
        if (!node) return;
        R& r = *Info(node);
        RecordStep(StepName(Rows::Id(r).isEmpty() ? "Add %1" : "Edit %1", 1), {node}, false, [&] {
            r.content = TrimRight(text);
            ForgetSearchResults();
            Rows::StoreText(*ADOQuery1, r);
            TextStored();
        });
    }

    void DeleteRows(TZvNode* node) override { Rows::Delete(*ADOQuery1, Rows::Id(*Info(node))); }
    void StoreExpanded(TZvNode* node, bool expanded) override
    {
        Rows::SetExpanded(*ADOQuery1, Rows::Id(*Info(node)), expanded);
    }
    void StorePid(TZvNode* node) override
    {
        const R& r = *Info(node);
        Rows::SetPid(*ADOQuery1, Rows::Id(r), r.pid);
    }
    const TZvItemTable& ItemTable() const override { return ItemTableOf<R>(); }
    void ReadItemAt(TZvNode* node, const QString& id, qint64 rowid, bool topLevel) override
    {
        // By its id, whose statement is compiled once; the rowid tells rows of one id apart.
        Rows::OpenRow(*ADOQuery1, id);
        while (!ADOQuery1->Eof() && ADOQuery1->RowId() != rowid)
            ADOQuery1->Next();
        if (ADOQuery1->Eof()) throw EZvError(tr("The row of an item put back is not there"));
        Rows::Read(*ADOQuery1, *Info(node), topLevel);
        ADOQuery1->Close();
        NodeCreated(node);
        tree()->invalidateNode(node);
    }

private:
    TZvSendMessage* m_mailer = nullptr; // ZvSendMessage1, made at the first e-mail
};

} // namespace zv
