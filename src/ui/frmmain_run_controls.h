#pragma once

// What a capture run reads of the window's controls, and writes back of its steps.

#include <QLineEdit>
#include <QListWidget>

#include "run/run_controls.h"
#include "ui/frmmain.h"

namespace tabvoro::ui {

class Frmmain::ControlsForRun : public run::RunControls {
public:
    explicit ControlsForRun(Frmmain &window) : w(window) {}

    capture::CaptureSettings settings() const override { return w.readCaptureSettings(); }
    std::vector<std::string> urlList() const override { return w.urlListRows(); }
    int urlListRow() const override { return w.List3->currentRow(); }
    std::optional<std::string> shownText() const override { return w.text1Text().toStdString(); }
    bool downloadIdle() const override { return w.Timer1Tag == std::pair(0, 0); }
    std::string outputFolder() const override { return w.m_outputFolder.toStdString(); }
    std::string codePage() const override { return w.codePage(); }
    void setStartPage(const std::string &page) override { w.txtYs->setText(QString::fromStdString(page)); }
    void markUrlListRow(int row) override
    {
        if (row < w.List3->count())
            w.List3->item(row)->setSelected(true);
    }
    void setUrlListRow(int row) override
    {
        if (row < w.List3->count())
            w.List3->setCurrentRow(row, QItemSelectionModel::NoUpdate);
    }

private:
    Frmmain &w;
};

}  // namespace tabvoro::ui
