#include "files/qt_common_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>

namespace ostrel {

namespace {

    std::string Trimmed(const std::string& text)
    {
        const std::size_t first = text.find_first_not_of(' ');
        if (first == std::string::npos)
            return {};
        return text.substr(first, text.find_last_not_of(' ') - first + 1);
    }

} // namespace

std::string QtNameFilter(const std::string& filter)
{
    // Pairs of description and pattern, all separated by vertical bars.
    std::string qtFilter;
    std::size_t start = 0;
    while (start <= filter.size()) {
        const std::size_t bar = filter.find('|', start);
        const std::string description = Trimmed(filter.substr(start, bar - start));
        if (bar == std::string::npos) {
            qtFilter += (qtFilter.empty() ? "" : ";;") + description;
            break;
        }
        const std::size_t next = filter.find('|', bar + 1);
        const std::string pattern = Trimmed(filter.substr(bar + 1, next - bar - 1));
        qtFilter += (qtFilter.empty() ? "" : ";;") + description + " (" + pattern + ")";
        if (next == std::string::npos)
            break;
        start = next + 1;
    }
    return qtFilter;
}

void QtCommonDialog::ShowSave()
{
    QFileDialog dialog(parent_, QString::fromStdString(title_));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QString::fromStdString(QtNameFilter(filter_)));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    // Qt's own dialog, so that the name can be read back as it was typed.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    fileName_.clear();
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString chosen = dialog.selectedFiles().constFirst();
    // The dialog reads quotes as a list of names ("a" "b"), so `we"ird.txt`
    // would come back as `ird.txt`. A name is saved as it was typed.
    const auto* typed = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (typed != nullptr && typed->text().contains(QLatin1Char('"'))) {
        const QString text = typed->text();
        chosen = QDir::isAbsolutePath(text) ? text : dialog.directory().absoluteFilePath(text);
    }
    fileName_ = chosen.toStdString();
}

} // namespace ostrel
