#include "app/quit_on_signals.h"
#include "files/qt_common_dialog.h"
#include "serial/qt_serial_control.h"
#include "ui/form1.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ostrel-serial-capture"));
    QApplication::setDesktopFileName(QStringLiteral("ostrel-serial-capture"));
    ostrel::QuitOnSignals();

    ostrel::CaptureSession session;
    ostrel::QtSerialControl MSComm1;
    ostrel::QtCommonDialog CommonDialog1;
    ostrel::Form1 form(session, MSComm1, CommonDialog1);
    CommonDialog1.setParent(&form);
    form.show();
    return application.exec();
}
