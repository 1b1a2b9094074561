#pragma once

#include "files/common_dialog.h"

class QWidget;

namespace ostrel {

// CommonDialog1 on a Qt save dialog: no initial name, folder or default
// extension, and no question before an existing file is replaced.
class QtCommonDialog : public CommonDialog {
public:
    explicit QtCommonDialog(QWidget* parent = nullptr)
        : parent_(parent)
    {
    }
    void setParent(QWidget* parent) { parent_ = parent; }

    void setDialogTitle(const std::string& title) override { title_ = title; }
    void setFilter(const std::string& filter) override { filter_ = filter; }
    void ShowSave() override;
    std::string FileName() const override { return fileName_; }

private:
    QWidget* parent_;
    std::string title_;
    std::string filter_;
    std::string fileName_;
};

// "Text Files | *.txt" in Qt's words: "Text Files (*.txt)".
std::string QtNameFilter(const std::string& filter);

} // namespace ostrel
