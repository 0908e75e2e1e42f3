#include "recordingviewer.h"
#include "ui_recordingviewer.h"

#include "recordingplots.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStatusBar>

#include <cmath>

namespace {

QString count(qint64 n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(QLocale().toString(n), QLatin1String(n == 1 ? one : many));
}

QString clockText(double ms, const QString &format)
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround(ms))).toString(format);
}

QString durationText(double ms)
{
    const qint64 seconds = qint64(ms / 1000);
    const qint64 days = seconds / 86400, hours = seconds % 86400 / 3600, minutes = seconds % 3600 / 60;
    if (days > 0)
        return QStringLiteral("%1 d %2 h %3 min").arg(days).arg(hours).arg(minutes);
    if (hours > 0)
        return QStringLiteral("%1 h %2 min").arg(hours).arg(minutes);
    if (minutes > 0)
        return QStringLiteral("%1 min %2 s").arg(minutes).arg(seconds % 60);
    return QStringLiteral("%1 s").arg(ms / 1000, 0, 'f', 1);
}

// The window's title: the folder, or the first file, of the recording.
QString titleOf(const QStringList &paths)
{
    const QString first = paths.isEmpty() ? QString() : QFileInfo(paths.first()).fileName();
    return QStringLiteral("Recording: %1%2").arg(first, paths.size() > 1 ? QStringLiteral(" …") : QString());
}

} // namespace

QString recordingSummary(const Recording &recording)
{
    const Recording::Report &report = recording.report;
    QStringList parts;
    parts << count(report.filesRead, "file", "files") << count(recording.samples.size(), "sample", "samples");
    if (!recording.times.empty()) {
        const QString format = QStringLiteral("ddd dd.MM.yyyy hh:mm:ss");
        const double first = recording.times.msOf(0), last = recording.times.lastMs();
        parts << QStringLiteral("%1 – %2 (%3)").arg(clockText(first, format), clockText(last, format),
                                                    durationText(last - first));
    }
    QString skipped = report.linesSkipped == 0 ? QStringLiteral("no lines skipped")
                                               : count(report.linesSkipped, "line skipped", "lines skipped");
    if (report.filesSkipped > 0)
        skipped += QStringLiteral(", ") + count(report.filesSkipped, "file skipped", "files skipped");
    parts << skipped;
    if (!recording.times.breaks().empty())
        parts << count(qint64(recording.times.breaks().size()), "gap", "gaps");
    if (report.timesEstimated)
        parts << QStringLiteral("times estimated from the file names");
    if (report.incomplete)
        parts << QStringLiteral("memory ran out: only the samples before that are shown");
    return parts.join(QStringLiteral(" · "));
}

RecordingViewer::RecordingViewer(const QStringList &paths, QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui_RecordingViewer>())
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(titleOf(paths));
    plots = new RecordingPlots(ui->plotArea);
    ui->problemList->hide();
    ui->detailsButton->hide();

    // Reading, then showing what was read
    connect(&loader, &RecordingLoader::progress, this, &RecordingViewer::showProgress);
    connect(&loader, &RecordingLoader::finished, this, &RecordingViewer::showRecording);
    connect(ui->cancelButton, &QPushButton::clicked, this, [this] {
        cancelled = true;
        loader.cancel();
    });
    // The sample under the pointer, the faults found, and the plots' own lines
    connect(plots, &RecordingPlots::pointedAt, this, &RecordingViewer::showSample);
    connect(ui->detailsButton, &QToolButton::toggled, ui->problemList, &QWidget::setVisible);
    connect(plots, &RecordingPlots::message, this, [this](const QString &text) { statusBar()->showMessage(text); });

    ui->recordingStatus->setText(tr("Reading %1…").arg(paths.join(QStringLiteral(", "))));
    loader.start(paths);
}

RecordingViewer::~RecordingViewer() = default;

void RecordingViewer::showProgress(qint64 done, qint64 total)
{
    if (total <= 0)
        return;
    ui->loadProgress->setValue(int(1000 * double(done) / double(total)));
    ui->recordingStatus->setText(tr("Reading: %1 of %2 MB").arg(done / 1000000).arg(total / 1000000));
}

void RecordingViewer::showRecording()
{
    if (cancelled) {
        close();
        return;
    }
    ui->loadProgress->hide();
    ui->cancelButton->hide();
    read = std::make_unique<Recording>(loader.takeRecording());
    if (read->samples.empty())
        ui->recordingStatus->setText(tr("No samples to show · %1").arg(recordingSummary(*read)));
    else
        ui->recordingStatus->setText(recordingSummary(*read));
    showProblems();
    plots->show(&read->samples, &read->times);
    emit loaded();
}

void RecordingViewer::showProblems()
{
    const Recording::Report &report = read->report;
    if (report.problems == 0)
        return;
    QStringList lines = report.firstProblems;
    if (report.problems > lines.size())
        lines << tr("… and %1 more").arg(QLocale().toString(report.problems - lines.size()));
    ui->problemList->setPlainText(lines.join(QLatin1Char('\n')));
    ui->detailsButton->setText(tr("Details (%1)").arg(QLocale().toString(report.problems)));
    ui->detailsButton->show();
    ui->detailsButton->setChecked(true);
}

void RecordingViewer::showSample(qint64 index)
{
    if (!read || index < 0)
        return;
    const Recording::Place place = read->placeOf(index);
    const SampleStore &samples = read->samples;
    const auto values = [&](int first) {
        return QStringLiteral("%1, %2, %3")
                .arg(samples.value(first, index))
                .arg(samples.value(first + 1, index))
                .arg(samples.value(first + 2, index));
    };
    QString time = clockText(read->times.msOf(index), QStringLiteral("ddd dd.MM.yyyy hh:mm:ss.zzz"));
    if (!place.timed)
        time += tr(" (estimated)");
    ui->pointerReadout->setText(tr("%1 · %2 line %3 · acceleration %4 · gyroscope %5")
                                        .arg(time, QFileInfo(place.path).fileName())
                                        .arg(place.line)
                                        .arg(values(0), values(3)));
}

#include "moc_recordingviewer.cpp"
