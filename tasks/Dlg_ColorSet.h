#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zv {

// "Set Color": the text and background colour of the selected tasks. The caller sets
// TextColor and BackgroundColor (colour numbers, 0 = default) before exec() and reads
// them after OK. "Default" closes with OK and both values 0.
class TColorSetDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TColorSetDlg(QWidget* parent = nullptr);

    int TextColor = 0;
    int BackgroundColor = 0;

    // Handlers, public so that tests can drive the dialog without a modal loop.
    void FormShow();
    void cb_textClick();
    void cb_bgClick();
    void cbox_textChange();
    void cbox_bgChange();
    void btn_OkClick();
    void btn_DefaultClick();

    // The colour number of a box's current entry (0 when none is selected).
    static int SelectedColor(const QComboBox* box);
    // Selects `colorNumber` in the box, adding it as a custom entry when it is not listed.
    static void SelectColor(QComboBox* box, int colorNumber);

    QLabel* Image1;
    QGroupBox* GroupBox_text;
    QCheckBox* cb_text;
    QComboBox* cbox_text;
    QGroupBox* GroupBox_bg;
    QCheckBox* cb_bg;
    QComboBox* cbox_bg;
    QPlainTextEdit* Memo1;
    QPushButton* btn_Default;
    QPushButton* btn_Ok;
    QPushButton* btn_Cancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdatePreview();
    void SetPreviewColors(const QColor* text, const QColor* background);

    bool m_shown = false;
};

} // namespace zv
