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
        seen.push_back({box->windowTitle(), box->text(), box->standardButtons(), box->icon()});
        if (whileOpen)
            whileOpen();
        box->button(box->standardButtons() & QMessageBox::Ok ? QMessageBox::Ok
                                                             : QMessageBox::Cancel)
            ->click();
    });
    timer_.start();
}

MessageCloser::~MessageCloser() { timer_.stop(); }

std::vector<std::string> ListTexts(const QListView* list)
{
    std::vector<std::string> texts;
    const QAbstractItemModel* model = list->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts.push_back(model->index(row, 0).data().toString().toStdString());
    return texts;
}

int SelectedRow(const QListView* list)
{
    const QModelIndexList selected = list->selectionModel()->selectedIndexes();
    return selected.size() == 1 ? selected.first().row() : -1;
}

} // namespace ostrel::test
