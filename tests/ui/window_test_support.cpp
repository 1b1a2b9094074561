#include "tests/ui/window_test_support.h"

#include <QAbstractButton>
#include <QApplication>

namespace ostrel::test {

MessageCloser::MessageCloser()
{
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        seen.push_back({ box->windowTitle(), box->text(), box->standardButtons(), box->icon(),
            box->detailedText(), box->frameGeometry() });
        if (whileOpen)
            whileOpen();
        box->button(
               box->standardButtons() & QMessageBox::Ok ? QMessageBox::Ok : QMessageBox::Cancel)
            ->click();
    });
    timer_.start();
}

MessageCloser::~MessageCloser() { timer_.stop(); }

std::vector<std::string> ListTexts(const LineListBox* list)
{
    std::vector<std::string> texts;
    for (int row = 0; row < list->lines().lineCount(); ++row)
        texts.push_back(list->displayText(row).toStdString());
    return texts;
}

int SelectedRow(const LineListBox* list) { return list->lines().currentIndex(); }

bool RowInView(const LineListBox* list, int row)
{
    return row >= list->firstVisibleRow() && row < list->firstVisibleRow() + list->visibleRows();
}

} // namespace ostrel::test
