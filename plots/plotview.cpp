#include "plotview.h"

#include <qcustomplot.h>

#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

namespace {

// Room around the data, so that the extremes do not sit on the frame.
QCPRange padded(const QCPRange &data)
{
    if (data.size() == 0)
        return QCPRange(data.lower - 1, data.upper + 1);
    const double room = 0.05 * data.size();
    return QCPRange(data.lower - room, data.upper + room);
}

// The union of the ranges that rangeOf(graph, found) gives for the visible
// graphs on the plot's time and value axes; found is false when none gave one.
template <typename RangeOf>
QCPRange unitedRange(QCustomPlot *plot, bool &found, const RangeOf &rangeOf)
{
    QCPRange united;
    found = false;
    for (int i = 0; i < plot->graphCount(); ++i) {
        QCPGraph *graph = plot->graph(i);
        if (!graph->visible() || graph->keyAxis() != plot->xAxis || graph->valueAxis() != plot->yAxis)
            continue;
        bool inGraph = false;
        const QCPRange range = rangeOf(graph, inGraph);
        if (!inGraph)
            continue;
        united = found ? QCPRange(std::min(united.lower, range.lower), std::max(united.upper, range.upper))
                       : range;
        found = true;
    }
    return united;
}

QString askImageFile(QWidget *parent, const QString &suggestedName)
{
    const QString png = PlotView::tr("PNG image (*.png)");
    const QString pdf = PlotView::tr("PDF document (*.pdf)");
    QString chosenFilter;
    QString path = QFileDialog::getSaveFileName(parent, PlotView::tr("Save image"),
                                                suggestedName + QStringLiteral(".png"),
                                                png + QStringLiteral(";;") + pdf, &chosenFilter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += chosenFilter == pdf ? QStringLiteral(".pdf") : QStringLiteral(".png");
    return path;
}

} // namespace

PlotView::PlotView(QCustomPlot *plot, const QString &imageName)
    : QObject(plot)
    , plot(plot)
    , imageName(imageName)
    , viewMenu(new QMenu(plot))
    , chooseImageFile(askImageFile)
{
    QAction *fit = viewMenu->addAction(tr("Fit value axis"), this, &PlotView::fitValueAxis);
    fit->setObjectName(QStringLiteral("fitValueAxis"));
    keepFitted = viewMenu->addAction(tr("Keep value axis fitted"));
    keepFitted->setObjectName(QStringLiteral("keepValueAxisFitted"));
    keepFitted->setCheckable(true);
    QAction *fitBoth = viewMenu->addAction(tr("Fit both axes"), this, &PlotView::fitBothAxes);
    fitBoth->setObjectName(QStringLiteral("fitBothAxes"));
    viewMenu->addSeparator();
    QAction *save = viewMenu->addAction(tr("Save image…"), this, &PlotView::saveImage);
    save->setObjectName(QStringLiteral("saveImage"));

    // Fitted at once when switched on, not only from the next sample.
    connect(keepFitted, &QAction::toggled, this, [this](bool on) {
        if (on)
            fitValueAxis();
    });
    plot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(plot, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { viewMenu->popup(this->plot->mapToGlobal(at)); });
    connect(plot, &QCustomPlot::mouseDoubleClick, this, [this](QMouseEvent *event) {
        if (event->button() == Qt::LeftButton)
            fitValueAxis();
    });
}

bool PlotView::keepsValueAxisFitted() const
{
    return keepFitted->isChecked();
}

void PlotView::followData()
{
    if (keepsValueAxisFitted())
        fitValueRange();
}

bool PlotView::fitValueRange()
{
    bool found = false;
    const QCPRange span = unitedRange(plot, found, [](QCPGraph *graph, bool &inGraph) {
        return graph->getValueRange(inGraph, QCP::sdBoth, graph->keyAxis()->range());
    });
    if (found)
        plot->yAxis->setRange(padded(span));
    return found;
}

void PlotView::fitValueAxis()
{
    if (fitValueRange())
        plot->replot();
}

void PlotView::fitBothAxes()
{
    bool found = false;
    const QCPRange keys = unitedRange(plot, found, [](QCPGraph *graph, bool &inGraph) {
        return graph->getKeyRange(inGraph);
    });
    if (!found)
        return;
    plot->xAxis->setRange(keys.size() > 0 ? keys : QCPRange(keys.lower - 1, keys.upper + 1));
    fitValueRange();
    plot->replot();
}

void PlotView::saveImage()
{
    const QString path = chooseImageFile(plot->window(), imageName);
    if (path.isEmpty())
        return;

    const QString format = QFileInfo(path).suffix().toLower();
    bool saved = false;
    if (format == QLatin1String("pdf")) {
        saved = plot->savePdf(path, 0, 0, QCP::epAllowCosmetic, QStringLiteral("imu-monitor"),
                              imageName);
    } else if (format == QLatin1String("png")) {
        saved = plot->savePng(path);
    } else {
        emit message(tr("Images are saved as .png or .pdf, not as %1").arg(path));
        return;
    }
    emit message(saved ? tr("Image saved: %1").arg(path)
                       : tr("Could not save the image to %1").arg(path));
}

void PlotView::setImageFileChooser(ImageFileChooser chooser)
{
    chooseImageFile = std::move(chooser);
}

#include "moc_plotview.cpp"
