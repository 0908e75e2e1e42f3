#include "mainwindow.h"

#include <QApplication>

namespace {

QtMessageHandler qtHandler = nullptr;

// The program's own diagnostics have categories (imu.serial,
// imu.serial.reads) that QT_LOGGING_RULES can turn off; on the terminal
// their lines still read as they always did, without the category in front.
void withoutOwnCategory(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrncmp(context.category, "imu.", 4) == 0) {
        const QMessageLogContext plain(context.file, context.line, context.function, "default");
        qtHandler(type, plain, message);
    } else {
        qtHandler(type, context, message);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    qtHandler = qInstallMessageHandler(withoutOwnCategory);
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
