#include "mainwindow.h"

#include <qcustomplot.h>

#include "childwidget.h"
#include "windowdriver.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLCDNumber>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

struct Choice
{
    bool draw = true;
    bool acc = true;
    bool gyro = true;
    bool test = false;
};

// Answers the next modal settings dialog from inside its event loop.
void answerSettings(Choice c, const QString &logDir, bool accept = true)
{
    ::answerSettings([=](QDialog *d) {
        (c.test ? testMode(logDir) : idleSensorMode(logDir))(d);
        child<QCheckBox>(d, "checkBox")->setChecked(c.draw);
        child<QCheckBox>(d, "checkBox_acc")->setChecked(c.acc);
        child<QCheckBox>(d, "checkBox_gyro")->setChecked(c.gyro);
    }, accept);
}

QCPTextElement *titleOf(QCustomPlot *p)
{
    return p->plotLayout()->rowCount() > 0
               ? qobject_cast<QCPTextElement *>(p->plotLayout()->element(0, 0))
               : nullptr;
}

QCPRange timeRange(QCustomPlot *p) { return p->xAxis->range(); }

using Sample = std::array<int16_t, 6>;  // acceleration X, Y, Z, gyroscope X, Y, Z

} // namespace

class tst_Plots : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(logDir.isValid()); }
    void cleanup() { window.reset(); }

    void construction();
    void legendAndTitleSelection();
    void layout_data();
    void layout();
    void buildLater_data();
    void buildLater();
    void drawing_data();
    void drawing();
    void testModeWaves();
    void clearKeepsRanges();
    void longHistoryKeepsNewest();

private:
    QTemporaryDir logDir;
    std::unique_ptr<MainWindow> window;

    MainWindow &start(Choice c)
    {
        answerSettings(c, logDir.path());
        window = std::make_unique<MainWindow>();
        return *window;
    }
    void options(Choice c, bool accept = true)
    {
        answerSettings(c, logDir.path(), accept);
        child<QAction>(window.get(), "actionOptions")->trigger();
    }
    QCustomPlot *plot(const QString &title)
    {
        for (QCustomPlot *p : window->findChildren<QCustomPlot *>())
            if (titleOf(p) && titleOf(p)->text() == title)
                return p;
        return missing<QCustomPlot>(window.get(), QStringLiteral("plot titled %1").arg(title));
    }
    QCustomPlot *acc() { return plot(QStringLiteral("Acceleration")); }
    QCustomPlot *gyro() { return plot(QStringLiteral("Gyro")); }
    QPushButton *clearButton()
    {
        for (QPushButton *b : window->findChildren<QPushButton *>())
            if (b->text() == QLatin1String("Clear plots"))
                return b;
        return nullptr;
    }
    void feed(const Sample &s)
    {
        QVERIFY(deliver(window.get(), {ImuSample{s[0], s[1], s[2], s[3], s[4], s[5]}}));
    }
    void tick() { QVERIFY(QMetaObject::invokeMethod(window.get(), "MainTimeout")); }
    QList<int> readouts()
    {
        QList<int> values;
        for (const char *name : {"acc_X", "acc_Y", "acc_Z", "gyro_X", "gyro_Y", "gyro_Z"})
            values << child<QLCDNumber>(window.get(), name)->intValue();
        return values;
    }
    void setAutoscale(Qt::CheckState s) { child<QCheckBox>(window.get(), "Autoscale")->setCheckState(s); }
};

void tst_Plots::construction()
{
    MainWindow &w = start({});
    QCOMPARE(w.size(), QSize(1000, 750));
    QCOMPARE(w.findChildren<QCustomPlot *>().size(), 2);

    const QStringList names[] = {{"Acc_Xaxis", "Acc_Yaxis", "Acc_Zaxis"},
                                 {"Gyro_Xaxis", "Gyro_Yaxis", "Gyro_Zaxis"}};
    const QColor pens[] = {QColor(0, 0, 255), QColor(0, 255, 0), QColor(255, 0, 0)};
    int which = 0;
    for (QCustomPlot *p : {acc(), gyro()}) {
        QCOMPARE(p->parentWidget(), &w);
        QCOMPARE(p->interactions(), QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectOther
                                        | QCP::iSelectPlottables | QCP::iSelectAxes
                                        | QCP::iSelectLegend);
        QCOMPARE(p->axisRect()->rangeDrag(), Qt::Horizontal | Qt::Vertical);
        QCOMPARE(p->axisRect()->rangeZoom(), Qt::Horizontal | Qt::Vertical);
        QCOMPARE(p->xAxis->label(), QStringLiteral("Time"));
        QCOMPARE(p->yAxis->label(), QStringLiteral("Magnitude"));
        // A closed box: top and right axes shown without labels, same ranges.
        for (QCPAxis *axis : {p->xAxis, p->yAxis, p->xAxis2, p->yAxis2}) {
            QVERIFY(axis->visible());
            QCOMPARE(axis->range(), QCPRange(0, 100));
        }
        QVERIFY(!p->xAxis2->tickLabels() && !p->yAxis2->tickLabels());
        for (QCPAxis *axis : {p->xAxis, p->yAxis}) {
            QCOMPARE(axis->grid()->pen().style(), Qt::DotLine);
            QCOMPARE(axis->grid()->pen().color(), QColor(Qt::black));
        }

        QVERIFY(p->legend->visible());
        QCOMPARE(p->legend->font().pointSize(), 10);
        QCOMPARE(p->legend->font().family(), w.font().family());
        QCOMPARE(p->legend->selectedFont(), p->legend->font());
        QCOMPARE(p->legend->selectableParts(), QCPLegend::SelectableParts(QCPLegend::spItems));

        QCOMPARE(p->graphCount(), 3);
        QCOMPARE(p->legend->itemCount(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(p->graph(i)->name(), names[which][i]);
            QCOMPARE(p->graph(i)->pen().color(), pens[i]);
            QCOMPARE(p->graph(i)->pen().style(), Qt::SolidLine);
            QVERIFY(p->graph(i)->pen().isCosmetic());
            QCOMPARE(p->graph(i)->keyAxis(), p->xAxis);
            QCOMPARE(p->graph(i)->valueAxis(), p->yAxis);
            QVERIFY(p->graph(i)->data()->isEmpty());
        }
        // The whole widget is filled with the background colour.
        const QImage image = p->toPixmap().toImage();
        QCOMPARE(image.pixelColor(1, 1), QColor(240, 235, 226));
        QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), QColor(240, 235, 226));
        ++which;
    }

    QPushButton *button = clearButton();
    QVERIFY(button);
    QCOMPARE(button->parentWidget(), &w);
    QCOMPARE(button->pos(), QPoint(300, 650));
    QVERIFY(button->isVisibleTo(&w));
}

void tst_Plots::legendAndTitleSelection()
{
    MainWindow &w = start({});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCustomPlot *p = acc();
    p->replot();

    QTest::mouseClick(p, Qt::LeftButton, {}, p->legend->item(1)->outerRect().center());
    QVERIFY(p->legend->item(1)->selected());
    QVERIFY(!p->legend->item(0)->selected());

    // The legend's frame is not selectable: a click on it selects nothing.
    QTest::mouseClick(p, Qt::LeftButton, {}, p->legend->outerRect().topLeft() + QPoint(1, 1));
    QCOMPARE(p->legend->selectedParts(), QCPLegend::SelectableParts(QCPLegend::spNone));
    QVERIFY(!p->legend->item(1)->selected());

    QTest::mouseClick(p, Qt::LeftButton, {}, titleOf(p)->outerRect().center());
    QVERIFY(titleOf(p)->selected());
}

void tst_Plots::layout_data()
{
    QTest::addColumn<bool>("accOn");
    QTest::addColumn<bool>("gyroOn");
    // The part of the area beside the form that each plot fills, in
    // halves from the top: 0 for none (hidden), 1 upper, 2 lower, 3 all.
    QTest::addColumn<int>("accPart");
    QTest::addColumn<int>("gyroPart");

    QTest::newRow("both") << true << true << 1 << 2;
    QTest::newRow("acceleration only") << true << false << 3 << 0;
    QTest::newRow("gyroscope only") << false << true << 0 << 3;
    QTest::newRow("neither") << false << false << 0 << 0;
}

// The same layout at start-up and when plots that hold data are re-laid
// from Edit > Options; re-laying rebuilds nothing, and a plot that was
// hidden shows every sample drawn meanwhile. The plots fill the window
// right of the form, from below the bars at the top to the status bar.
void tst_Plots::layout()
{
    QFETCH(bool, accOn);
    QFETCH(bool, gyroOn);
    QFETCH(int, accPart);
    QFETCH(int, gyroPart);

    auto check = [&](MainWindow &w) {
        QCOMPARE(w.size(), QSize(1000, 750));
        const QRect free = child<QWidget>(&w, "centralWidget")->geometry();
        QCOMPARE(free.bottom() + 1, child<QWidget>(&w, "statusBar")->geometry().top());
        const int half = free.height() / 2;
        const QRect parts[] = {{}, {400, free.top(), 600, half},
                               {400, free.top() + half, 600, free.height() - half},
                               {400, free.top(), 600, free.height()}};
        QCOMPARE(acc()->isVisibleTo(&w), accPart != 0);
        QCOMPARE(gyro()->isVisibleTo(&w), gyroPart != 0);
        if (accPart != 0)
            QCOMPARE(acc()->geometry(), parts[accPart]);
        if (gyroPart != 0)
            QCOMPARE(gyro()->geometry(), parts[gyroPart]);
        QVERIFY(clearButton()->isVisibleTo(&w));
    };

    check(start({true, accOn, gyroOn}));
    if (QTest::currentTestFailed())
        return;

    window.reset();
    MainWindow &w = start({true, !accOn, !gyroOn});
    for (int i = 0; i < 5; ++i)
        feed({1, 2, 3, 4, 5, int16_t(i)});
    QCustomPlot *const plots[] = {acc(), gyro()};
    options({true, accOn, gyroOn});
    check(w);
    QCOMPARE(w.findChildren<QCustomPlot *>().size(), 2);
    QCOMPARE(acc(), plots[0]);
    QCOMPARE(gyro(), plots[1]);
    for (QCustomPlot *p : plots)
        for (int i = 0; i < 3; ++i)
            QCOMPARE(p->graph(i)->dataCount(), 5);
    QCOMPARE(gyro()->graph(2)->data()->at(4)->value, 4.0);
}

void tst_Plots::buildLater_data()
{
    QTest::addColumn<bool>("plotsOn");
    QTest::addColumn<QSize>("sizeAfterBuild");

    // The layout shrinks the window only when neither plot is chosen.
    QTest::newRow("both plots") << true << QSize(900, 700);
    QTest::newRow("neither plot") << false << QSize(450, 750);
}

void tst_Plots::buildLater()
{
    QFETCH(bool, plotsOn);
    QFETCH(QSize, sizeAfterBuild);

    // Without "Draw plots" nothing is built and ticks draw nothing, so the
    // test waves stay at phase 0.
    MainWindow &w = start({false, true, true, true});
    QCOMPARE(w.size(), QSize(450, 750));
    QVERIFY(w.findChildren<QCustomPlot *>().isEmpty());
    QVERIFY(!clearButton());
    tick();
    tick();
    QCOMPARE(readouts(), (QList<int>{0, 5, 0, 0, 55, 0}));

    w.resize(900, 700);

    options({true, plotsOn, plotsOn, true});
    QCOMPARE(w.findChildren<QCustomPlot *>().size(), 2);
    QCOMPARE(w.size(), sizeAfterBuild);
    QVERIFY(clearButton());

    // With the plots built, the next run widens, confirmed or cancelled.
    options({true, true, true, true}, false);
    QCOMPARE(w.size(), QSize(1000, 750));

    // Switching "Draw plots" off keeps them and keeps drawing on them.
    options({false, true, true, true});
    tick();
    tick();
    QCOMPARE(w.findChildren<QCustomPlot *>().size(), 2);
    QCOMPARE(acc()->graph(0)->dataCount(), 2);
    QCOMPARE(gyro()->graph(2)->dataCount(), 2);
}

void tst_Plots::drawing_data()
{
    QTest::addColumn<Qt::CheckState>("autoscale");
    QTest::newRow("unchecked") << Qt::Unchecked;
    QTest::newRow("partially checked") << Qt::PartiallyChecked;
    QTest::newRow("checked") << Qt::Checked;
}

// Every graph holds every sample at keys 0..N-1, whether the samples come
// one or several to a read; each plot is redrawn once per read, the time
// axes follow the Autoscale box to the newest sample, and the value axes are
// never moved by drawing.
void tst_Plots::drawing()
{
    QFETCH(Qt::CheckState, autoscale);

    start({});
    setAutoscale(autoscale);
    // Where a user drag left the time axes.
    const QCPRange dragged(7, 77);
    acc()->xAxis->setRange(dragged);
    gyro()->xAxis->setRange(dragged);

    QList<Sample> samples;
    for (int i = 0; i < 250; ++i)
        samples << Sample{int16_t(i), int16_t(-i), int16_t(i * 131), int16_t(-32768 + i),
                          int16_t(32767 - i), int16_t(i % 3 - 1)};

    QSignalSpy accReplots(acc(), &QCustomPlot::afterReplot);
    QSignalSpy gyroReplots(gyro(), &QCustomPlot::afterReplot);
    for (int n = 0, reads = 0; n < samples.size(); ++reads) {
        // Reads of one to five frames.
        QVector<ImuSample> read;
        for (int k = 0; k <= reads % 5 && n < samples.size(); ++k, ++n) {
            const Sample &s = samples[n];
            read << ImuSample{s[0], s[1], s[2], s[3], s[4], s[5]};
        }
        QVERIFY(deliver(window.get(), read));
        QCOMPARE(accReplots.size(), reads + 1);
        QCOMPARE(gyroReplots.size(), reads + 1);
        QCOMPARE(readouts(), (QList<int>{samples[n - 1].begin(), samples[n - 1].end()}));
        const int last = n - 1;
        QCPRange expected = dragged;
        if (autoscale == Qt::PartiallyChecked)
            expected = QCPRange(last - 200, last + 20);
        else if (autoscale == Qt::Checked && last > 0)  // 0..0 is empty and refused
            expected = QCPRange(0, 1.2 * last);
        for (QCustomPlot *p : {acc(), gyro()}) {
            QCOMPARE(timeRange(p), expected);
            QCOMPARE(p->yAxis->range(), QCPRange(0, 100));
            QCOMPARE(p->xAxis2->range(), QCPRange(0, 100));
        }
    }

    QCustomPlot *const plots[] = {acc(), gyro()};
    for (int g = 0; g < 6; ++g) {
        const QSharedPointer<QCPGraphDataContainer> data = plots[g / 3]->graph(g % 3)->data();
        QCOMPARE(data->size(), samples.size());
        for (int n = 0; n < samples.size(); ++n) {
            QCOMPARE(data->at(n)->key, double(n));
            QCOMPARE(data->at(n)->value, double(samples[n][g]));
        }
    }
}

// The waves follow the number of drawn samples and restart after a clear.
void tst_Plots::testModeWaves()
{
    start({true, true, true, true});
    const QList<int> atZero{0, 5, 0, 0, 55, 0};
    tick();
    QCOMPARE(readouts(), atZero);
    tick();
    QCOMPARE(readouts(), (QList<int>{1, 4, 0, 3, 52, 7}));
    for (int n = 2; n <= 10; ++n)
        tick();
    QCOMPARE(readouts(), (QList<int>{9, 2, 7, 18, -54, 71}));
    QCOMPARE(gyro()->graph(1)->data()->at(10)->value, -54.0);

    clearButton()->click();
    tick();
    QCOMPARE(readouts(), atZero);
    QCOMPARE(acc()->graph(1)->dataCount(), 1);
    QCOMPARE(acc()->graph(1)->data()->at(0)->key, 0.0);
    QCOMPARE(acc()->graph(1)->data()->at(0)->value, 5.0);
}

void tst_Plots::clearKeepsRanges()
{
    start({});
    setAutoscale(Qt::PartiallyChecked);
    for (int i = 0; i < 30; ++i)
        feed({1, 2, 3, 4, 5, 6});
    gyro()->yAxis->setRange(-50, 50);  // a user zoom of a value axis
    setAutoscale(Qt::Unchecked);

    clearButton()->click();
    for (QCustomPlot *p : {acc(), gyro()}) {
        for (int i = 0; i < 3; ++i)
            QVERIFY(p->graph(i)->data()->isEmpty());
        QCOMPARE(timeRange(p), QCPRange(29 - 200, 29 + 20));
    }
    QCOMPARE(gyro()->yAxis->range(), QCPRange(-50, 50));

    // Drawing restarts at key 0 and, unchecked, leaves the old range alone.
    feed({1, 2, 3, 4, 5, 6});
    QCOMPARE(acc()->graph(0)->dataCount(), 1);
    QCOMPARE(acc()->graph(0)->data()->at(0)->key, 0.0);
    QCOMPARE(timeRange(acc()), QCPRange(29 - 200, 29 + 20));

    // Checked, the first sample after a clear keeps the range; the second sets it.
    clearButton()->click();
    setAutoscale(Qt::Checked);
    feed({1, 2, 3, 4, 5, 6});
    QCOMPARE(timeRange(gyro()), QCPRange(29 - 200, 29 + 20));
    feed({1, 2, 3, 4, 5, 6});
    QCOMPARE(timeRange(gyro()), QCPRange(0, 1.2));
}

// Past about four hours of samples each graph still holds the newest 2^20
// as its own points, in order, for code that reads a graph's data; Clear
// plots empties them.
void tst_Plots::longHistoryKeepsNewest()
{
    // Values all over the int16 range, different on each axis.
    auto valueAt = [](int n, int axis) {
        return int16_t((quint32(n) * 2654435761u + quint32(axis) * 40503u) >> 16);
    };
    start({});
    setAutoscale(Qt::Checked);
    const int newest = 1 << 20;
    const int count = 2 * newest + 12345;
    for (int n = 0; n < count;) {
        QVector<ImuSample> read;
        for (; read.size() < 8192 && n < count; ++n)
            read << ImuSample{valueAt(n, 0), valueAt(n, 1), valueAt(n, 2),
                              valueAt(n, 3), valueAt(n, 4), valueAt(n, 5)};
        QVERIFY(deliver(window.get(), read));
    }

    QCustomPlot *const plots[] = {acc(), gyro()};
    for (int g = 0; g < 6; ++g) {
        const QSharedPointer<QCPGraphDataContainer> data = plots[g / 3]->graph(g % 3)->data();
        const int points = data->size();
        QVERIFY2(points >= newest && points < count, qPrintable(QString::number(points)));
        int wrong = 0;
        for (int i = 0; i < points; ++i) {
            const int n = count - (points - i);
            wrong += data->at(i)->key != n || data->at(i)->value != valueAt(n, g);
        }
        QCOMPARE(wrong, 0);
    }
    QCOMPARE(timeRange(acc()), QCPRange(0, 1.2 * (count - 1)));

    clearButton()->click();
    for (QCustomPlot *p : plots)
        for (int i = 0; i < 3; ++i)
            QVERIFY(p->graph(i)->data()->isEmpty());
    feed({1, 2, 3, 4, 5, 6});
    QCOMPARE(gyro()->graph(2)->dataCount(), 1);
    QCOMPARE(gyro()->graph(2)->data()->at(0)->key, 0.0);
}

QTEST_MAIN(tst_Plots)
#include "tst_plots.moc"
