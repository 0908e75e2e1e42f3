#ifndef PLOTVIEW_H
#define PLOTVIEW_H

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QCustomPlot;
class QMenu;
class QWidget;

// What the user can do to the view of one plot, from its right-click menu:
// fit the value axis to the data in the visible time range (also by a
// double-click), keep it fitted while samples are drawn, fit both axes to
// the whole history, and save the plot as a PNG or PDF image. Nothing here
// acts until the user asks for it.
class PlotView : public QObject
{
    Q_OBJECT

public:
    // Asks where to save an image, suggesting a file name; an empty result
    // cancels. The path's suffix, .png or .pdf, chooses the format.
    using ImageFileChooser = std::function<QString(QWidget *parent, const QString &suggestedName)>;

    // Becomes a child of plot and adds its menu to it. imageName is the
    // suggested file name of a saved image, without suffix.
    PlotView(QCustomPlot *plot, const QString &imageName);

    QMenu *menu() const { return viewMenu; }
    bool keepsValueAxisFitted() const;

    // Refits the value axis if the user asked to keep it fitted. Called once
    // for each read's samples, before the plot is replotted; does not replot.
    void followData();

    // The value axis spans the data of the visible graphs in the visible
    // time range with 5 % of room on each side, or the value ± 1 when the
    // data is flat. Without data in view nothing changes. Replots.
    void fitValueAxis();
    // The time axis spans every sample (± 1 for a single one), then the
    // value axis is fitted to it. Replots.
    void fitBothAxes();
    // Asks the chooser for a path and exports the plot there as QCustomPlot
    // renders it, at the plot's size.
    void saveImage();

    // Replaces the file dialog that saveImage asks.
    void setImageFileChooser(ImageFileChooser chooser);

signals:
    // A line for the user: where the image went, or why it did not.
    void message(const QString &text);

private:
    bool fitValueRange();

    QCustomPlot *plot;
    QString imageName;
    QMenu *viewMenu;
    QAction *keepFitted;
    ImageFileChooser chooseImageFile;
};

#endif // PLOTVIEW_H
