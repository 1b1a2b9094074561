#pragma once

#include <string>

namespace ostrel {

// The save dialog, CommonDialog1. The program writes only the title and the
// filter before each use, shows the dialog, and reads back the chosen name
// (empty when the user cancelled). It never sets or clears the name itself.
class CommonDialog {
public:
    virtual ~CommonDialog() = default;
    virtual void setDialogTitle(const std::string& title) = 0;
    virtual void setFilter(const std::string& filter) = 0;
    // Modal: returns when the user has closed the dialog.
    virtual void ShowSave() = 0;
    virtual std::string FileName() const = 0;
};

} // namespace ostrel
