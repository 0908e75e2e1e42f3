// The plot slots of MainWindow: building and laying out the acceleration and
// gyroscope plots, drawing each sample on them and clearing them.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "options.h"

#include <QCheckBox>
#include <QPushButton>

#include <qcustomplot.h>

namespace {

// Interactions, axis box, title, labels and legend; the same for both plots.
void configurePlot(QCustomPlot *plot, const QString &title, const QFont &legendFont)
{
    // There is no interaction flag for the title alone: the title element is
    // made selectable below and iSelectOther lets the mouse select it.
    plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom | QCP::iSelectOther
                          | QCP::iSelectPlottables | QCP::iSelectAxes | QCP::iSelectLegend);
    plot->axisRect()->setRangeDrag(Qt::Horizontal | Qt::Vertical);
    plot->axisRect()->setRangeZoom(Qt::Horizontal | Qt::Vertical);

    // The ranges come first: the top and right axes copy them once and are
    // not linked, so they stay at 0..100 while the time axis follows the data.
    plot->xAxis->setRange(0, 100);
    plot->yAxis->setRange(0, 100);
    plot->axisRect()->setupFullAxesBox();

    plot->plotLayout()->insertRow(0);
    auto *titleElement = new QCPTextElement(plot, title);
    titleElement->setSelectable(true);
    plot->plotLayout()->addElement(0, 0, titleElement);
    plot->xAxis->setLabel(QStringLiteral("Time"));
    plot->yAxis->setLabel(QStringLiteral("Magnitude"));

    plot->legend->setVisible(true);
    plot->legend->setFont(legendFont);
    plot->legend->setSelectedFont(legendFont);
    plot->legend->setSelectableParts(QCPLegend::spItems);
}

// A one-pixel line whatever the zoom: width 0 is a cosmetic pen.
QPen linePen(const QColor &colour, Qt::PenStyle style = Qt::SolidLine)
{
    return QPen(colour, 0, style);
}

void addGraph(QCustomPlot *plot, const QString &name, const QPen &pen)
{
    QCPGraph *graph = plot->addGraph();
    graph->setName(name);
    graph->setPen(pen);
    // The whole history may be in view (Autoscale checked): adaptive sampling
    // keeps a replot bounded by the plot's width rather than the history.
    graph->setAdaptiveSampling(true);
}

} // namespace

void MainWindow::InitialisoiKuvaajat()
{
    QFont legendFont = font();
    legendFont.setPointSize(10);

    accPlot = new QCustomPlot(this);
    configurePlot(accPlot, QStringLiteral("Acceleration"), legendFont);

    gyroPlot = new QCustomPlot(this);
    SkaalaaKuvaajat();
    configurePlot(gyroPlot, QStringLiteral("Gyro"), legendFont);

    const QPen gridPen = linePen(Qt::black, Qt::DotLine);
    for (QCustomPlot *plot : {accPlot, gyroPlot}) {
        plot->xAxis->grid()->setPen(gridPen);
        plot->yAxis->grid()->setPen(gridPen);
    }

    // Graph indexes are fixed: 0 is X, 1 is Y, 2 is Z on both plots.
    const QPen xPen = linePen(Qt::blue);
    const QPen yPen = linePen(Qt::green);
    const QPen zPen = linePen(Qt::red);
    addGraph(accPlot, QStringLiteral("Acc_Xaxis"), xPen);
    addGraph(accPlot, QStringLiteral("Acc_Yaxis"), yPen);
    addGraph(accPlot, QStringLiteral("Acc_Zaxis"), zPen);
    addGraph(gyroPlot, QStringLiteral("Gyro_Xaxis"), xPen);
    addGraph(gyroPlot, QStringLiteral("Gyro_Yaxis"), yPen);
    addGraph(gyroPlot, QStringLiteral("Gyro_Zaxis"), zPen);

    const QBrush background(QColor(240, 235, 226, 255));
    accPlot->setBackground(background);
    gyroPlot->setBackground(background);

    auto *clearButton = new QPushButton(this);
    clearButton->move(300, 650);
    clearButton->setText(QStringLiteral("Clear plots"));
    clearButton->show();
    connect(clearButton, &QPushButton::clicked, this, &MainWindow::TyhjennaKuvaajat);

    plotsBuilt = true;
}

void MainWindow::SkaalaaKuvaajat()
{
    const bool acceleration = options->plotAcceleration;
    const bool gyroscope = options->plotGyroscope;

    if (acceleration && gyroscope) {
        accPlot->move(400, 23);
        accPlot->resize(600, 375);
        gyroPlot->move(400, 398);
        gyroPlot->resize(600, 375);
        accPlot->setVisible(true);
        gyroPlot->setVisible(true);
    } else if (acceleration) {
        accPlot->move(400, 23);
        accPlot->resize(600, 700);
        gyroPlot->setVisible(false);
        accPlot->setVisible(true);
    } else if (gyroscope) {
        gyroPlot->move(400, 23);
        gyroPlot->resize(600, 700);
        accPlot->setVisible(false);
        gyroPlot->setVisible(true);
    } else {
        resize(450, 750);
        accPlot->setVisible(false);
        gyroPlot->setVisible(false);
    }
}

void MainWindow::PiirraKuvaajat()
{
    // Each graph gets only the new point: handing it the whole history again
    // would make every sample cost more than the one before, until the
    // program could no longer keep up with the timer. The histories stay the
    // record of everything drawn since the last clear.
    const double last = sampleCount;
    timeHistory.append(last);

    accXHistory.append(accX);
    accYHistory.append(accY);
    accZHistory.append(accZ);
    accPlot->graph(0)->addData(last, accX);
    accPlot->graph(1)->addData(last, accY);
    accPlot->graph(2)->addData(last, accZ);

    // Only the time axes follow the data; the value axes stay where the
    // user leaves them. A 0..0 range asked for at the first sample is empty,
    // and the plot keeps its previous range then.
    switch (ui->Autoscale->checkState()) {
    case Qt::PartiallyChecked:
        accPlot->xAxis->setRange(last - 200, last + 20);
        gyroPlot->xAxis->setRange(last - 200, last + 20);
        break;
    case Qt::Checked:
        accPlot->xAxis->setRange(0, 1.2 * last);
        gyroPlot->xAxis->setRange(0, 1.2 * last);
        break;
    case Qt::Unchecked:
        break;
    }
    accPlot->replot();

    gyroXHistory.append(gyroX);
    gyroYHistory.append(gyroY);
    gyroZHistory.append(gyroZ);
    gyroPlot->graph(0)->addData(last, gyroX);
    gyroPlot->graph(1)->addData(last, gyroY);
    gyroPlot->graph(2)->addData(last, gyroZ);
    gyroPlot->replot();

    ++sampleCount;
}

void MainWindow::TyhjennaKuvaajat()
{
    // Clearing is the only way a long history shrinks, so its memory is
    // given back too: clear() alone keeps the capacity.
    for (QVector<double> *history : {&timeHistory, &accXHistory, &accYHistory, &accZHistory,
                                     &gyroXHistory, &gyroYHistory, &gyroZHistory}) {
        history->clear();
        history->squeeze();
    }
    sampleCount = 0;

    // The axis ranges stay where they are.
    for (QCustomPlot *plot : {accPlot, gyroPlot}) {
        for (int i = 0; i < 3; ++i) {
            plot->graph(i)->data()->clear();
            plot->graph(i)->data()->squeeze();
        }
        plot->replot();
    }
}
