#include "mainwindow.h"
#include "plotview.h"
#include "sensorplots.h"

#include <qcustomplot.h>

#include "childwidget.h"
#include "windowdriver.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using Sample = std::array<int16_t, 6>;  // acceleration X, Y, Z, gyroscope X, Y, Z

// Kinds of data the value axes are fitted to.
Sample sampleOf(const QString &kind, int n)
{
    if (kind == "flat")
        return {5, 5, 5, -3, -3, -3};
    if (kind == "negative")
        return {int16_t(-100 - n % 40), int16_t(-2000 + n), -150, int16_t(-n), -1, -7};
    // An accelerometer at rest: one axis carries gravity.
    return {int16_t(16000 + (n * 37) % 200), int16_t(-300 + n % 50), int16_t(120 - (n * 7) % 90),
            int16_t(n % 11 - 5), int16_t(40 - n % 9), int16_t(-(n * 3) % 17)};
}

QCPRange padded(double lowest, double highest)
{
    if (lowest == highest)
        return QCPRange(lowest - 1, highest + 1);
    const double room = 0.05 * (highest - lowest);
    return QCPRange(lowest - room, highest + room);
}

QString titleOf(QCustomPlot *p)
{
    auto *title = qobject_cast<QCPTextElement *>(p->plotLayout()->element(0, 0));
    return title ? title->text() : QString();
}

bool sameRange(const QCPRange &a, const QCPRange &b)
{
    return qFuzzyCompare(a.lower + 1e6, b.lower + 1e6) && qFuzzyCompare(a.upper + 1e6, b.upper + 1e6);
}

} // namespace

class tst_PlotView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { window.reset(); }

    void doubleClickFits_data();
    void doubleClickFits();
    void fitFromMenu_data();
    void fitFromMenu();
    void keepFitted();
    void fitBothAxes_data();
    void fitBothAxes();
    void saveImage_data();
    void saveImage();

private:
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> window;
    QList<Sample> drawn;

    QCustomPlot *plot(const QString &title)
    {
        for (QCustomPlot *p : window->findChildren<QCustomPlot *>())
            if (titleOf(p) == title)
                return p;
        return missing<QCustomPlot>(window.get(), QStringLiteral("plot titled %1").arg(title));
    }
    QCustomPlot *acc() { return plot(QStringLiteral("Acceleration")); }
    QCustomPlot *gyro() { return plot(QStringLiteral("Gyro")); }

    void draw(const QString &kind, int count)
    {
        for (int i = 0; i < count; ++i) {
            const Sample s = sampleOf(kind, drawn.size());
            QVERIFY(deliver(window.get(), {ImuSample{s[0], s[1], s[2], s[3], s[4], s[5]}}));
            drawn << s;
        }
    }
    // The fitted value range of a plot (0 acceleration, 1 gyroscope), from
    // the samples drawn at times within the given range.
    QCPRange expectedFit(int which, const QCPRange &time) const
    {
        double lowest = qInf(), highest = -qInf();
        for (int n = 0; n < drawn.size(); ++n) {
            if (n < time.lower || n > time.upper)
                continue;
            for (int axis = 0; axis < 3; ++axis) {
                lowest = std::min(lowest, double(drawn[n][which * 3 + axis]));
                highest = std::max(highest, double(drawn[n][which * 3 + axis]));
            }
        }
        return padded(lowest, highest);
    }
    // Right-clicks the middle of the plot and clicks the menu entry.
    void choose(QCustomPlot *p, const char *action)
    {
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, p->axisRect()->rect().center(),
                                     p->mapToGlobal(p->axisRect()->rect().center()));
        QApplication::sendEvent(p, &rightClick);
        QMenu *menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())));
        auto *entry = child<QAction>(menu, action);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
        QTRY_VERIFY(!QApplication::activePopupWidget());
    }
};

void tst_PlotView::init()
{
    QVERIFY(dir.isValid());
    drawn.clear();
    // Sensor mode with both plots: samples come only from the test.
    answerWithPlots(idleSensorMode(dir.path()));
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void tst_PlotView::doubleClickFits_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<Qt::CheckState>("autoscale");
    QTest::addColumn<QCPRange>("time");  // set after drawing; empty: as Autoscale left it

    QTest::newRow("at rest, following the newest") << "rest" << Qt::PartiallyChecked << QCPRange();
    QTest::newRow("at rest, whole history") << "rest" << Qt::Checked << QCPRange();
    QTest::newRow("negative, part of the history") << "negative" << Qt::Unchecked << QCPRange(100, 150.5);
    QTest::newRow("flat") << "flat" << Qt::PartiallyChecked << QCPRange();
}

// The value axis spans the data in the visible time range with 5 % room;
// only that axis of that plot moves.
void tst_PlotView::doubleClickFits()
{
    QFETCH(QString, kind);
    QFETCH(Qt::CheckState, autoscale);
    QFETCH(QCPRange, time);

    child<QCheckBox>(window.get(), "Autoscale")->setCheckState(autoscale);
    draw(kind, 400);
    if (time != QCPRange())
        acc()->xAxis->setRange(time);
    const QCPRange visible = acc()->xAxis->range();

    QTest::mouseDClick(acc(), Qt::LeftButton, {}, acc()->axisRect()->rect().center());
    QVERIFY2(sameRange(acc()->yAxis->range(), expectedFit(0, visible)),
             qPrintable(QString("%1..%2").arg(acc()->yAxis->range().lower).arg(acc()->yAxis->range().upper)));
    QCOMPARE(acc()->xAxis->range(), visible);
    QCOMPARE(acc()->yAxis2->range(), QCPRange(0, 100));
    QCOMPARE(gyro()->yAxis->range(), QCPRange(0, 100));
}

void tst_PlotView::fitFromMenu_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("which");
    QTest::newRow("acceleration") << "Acceleration" << 0;
    QTest::newRow("gyroscope") << "Gyro" << 1;
}

void tst_PlotView::fitFromMenu()
{
    QFETCH(QString, title);
    QFETCH(int, which);

    child<QCheckBox>(window.get(), "Autoscale")->setCheckState(Qt::PartiallyChecked);
    draw("rest", 300);
    QCustomPlot *fitted = plot(title);
    QCustomPlot *other = which == 0 ? gyro() : acc();
    choose(fitted, "fitValueAxis");
    QVERIFY(sameRange(fitted->yAxis->range(), expectedFit(which, fitted->xAxis->range())));
    QCOMPARE(other->yAxis->range(), QCPRange(0, 100));
}

// Off at start; while on, each drawn sample refits the plot it is on for.
void tst_PlotView::keepFitted()
{
    child<QCheckBox>(window.get(), "Autoscale")->setCheckState(Qt::PartiallyChecked);
    draw("rest", 50);
    auto *plots = window->findChild<SensorPlots *>();
    QVERIFY(plots);
    QVERIFY(!plots->accelerationView()->keepsValueAxisFitted());
    QVERIFY(!plots->gyroscopeView()->keepsValueAxisFitted());

    choose(gyro(), "keepValueAxisFitted");
    QVERIFY(plots->gyroscopeView()->keepsValueAxisFitted());
    QVERIFY(sameRange(gyro()->yAxis->range(), expectedFit(1, gyro()->xAxis->range())));
    for (const char *kind : {"negative", "rest", "flat"}) {
        draw(kind, 120);
        QVERIFY2(sameRange(gyro()->yAxis->range(), expectedFit(1, gyro()->xAxis->range())), kind);
        QCOMPARE(acc()->yAxis->range(), QCPRange(0, 100));
    }

    choose(gyro(), "keepValueAxisFitted");
    QVERIFY(!plots->gyroscopeView()->keepsValueAxisFitted());
    const QCPRange left = gyro()->yAxis->range();
    draw("rest", 30);
    QCOMPARE(gyro()->yAxis->range(), left);
}

void tst_PlotView::fitBothAxes_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QCPRange>("time");

    QTest::newRow("a history") << 300 << QCPRange(0, 299);
    QTest::newRow("one sample") << 1 << QCPRange(-1, 1);
}

// The time axis spans every sample, and the value axis all of their values.
void tst_PlotView::fitBothAxes()
{
    QFETCH(int, count);
    QFETCH(QCPRange, time);

    draw("negative", count);
    choose(acc(), "fitBothAxes");
    QCOMPARE(acc()->xAxis->range(), time);
    QVERIFY(sameRange(acc()->yAxis->range(), expectedFit(0, time)));
    QCOMPARE(gyro()->xAxis->range(), QCPRange(0, 100));
}

void tst_PlotView::saveImage_data()
{
    QTest::addColumn<QString>("fileName");  // empty: the dialog is cancelled
    QTest::addColumn<QByteArray>("head");   // of the file written; empty: none
    QTest::addColumn<QString>("message");

    QTest::newRow("PNG") << "plot.png" << QByteArray("\x89PNG\r\n\x1a\n") << "Image saved: %1";
    QTest::newRow("PDF") << "plot.pdf" << QByteArray("%PDF-") << "Image saved: %1";
    QTest::newRow("cancelled") << "" << QByteArray() << "";
    QTest::newRow("other format") << "plot.jpg" << QByteArray()
                                  << "Images are saved as .png or .pdf, not as %1";
    QTest::newRow("folder missing") << "missing/plot.png" << QByteArray()
                                    << "Could not save the image to %1";
}

void tst_PlotView::saveImage()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, head);
    QFETCH(QString, message);

    draw("rest", 200);
    const QString path = fileName.isEmpty() ? QString() : dir.filePath(fileName);
    QString suggested;
    QWidget *dialogParent = nullptr;
    window->findChild<SensorPlots *>()->setImageFileChooser([&](QWidget *parent, const QString &name) {
        dialogParent = parent;
        suggested = name;
        return path;
    });
    const QStringList before = messages(window.get());
    choose(acc(), "saveImage");

    QCOMPARE(suggested, QStringLiteral("acceleration"));
    QCOMPARE(dialogParent, window.get());
    const QStringList added = messages(window.get()).mid(before.size());
    QCOMPARE(added, message.isEmpty() ? QStringList() : QStringList{message.arg(path)});
    QCOMPARE(QFile::exists(path), !head.isEmpty());
    if (head.isEmpty())
        return;

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith(head));
    if (fileName.endsWith(".png")) {
        const QImage image(path);
        QCOMPARE(image.size(), acc()->size());
        QCOMPARE(image.pixelColor(1, 1), QColor(240, 235, 226));
    } else {
        // One page, and the cross-reference table where the trailer says.
        QVERIFY(bytes.trimmed().endsWith("%%EOF"));
        QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 1);
        const int at = bytes.lastIndexOf("startxref");
        QVERIFY(at > 0);
        const long xref = bytes.mid(at + 9).trimmed().split('\n').value(0).trimmed().toLong();
        QVERIFY(bytes.mid(xref, 4) == "xref");
    }
}

QTEST_MAIN(tst_PlotView)
#include "tst_plotview.moc"
