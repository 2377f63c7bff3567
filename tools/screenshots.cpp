// Takes one picture of each tab of the running program, for the user guide:
//   halvo-screenshots OUTPUT_DIR [SECONDS_PER_TAB]
// The program runs as usual; each tab is shown for a few seconds of refresh
// before it is grabbed, so live values and graphs have something to show.
#include "HStation.h"
#include "application.h"
#include "picture.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

namespace
{

// "CPU Thermal Control" -> "cpu-thermal-control".
QString fileStem(int index, const QString &tabText)
{
    QString stem;
    for (const QChar c : tabText.toLower()) {
        if (c.isLetterOrNumber())
            stem += c;
        else if (!stem.endsWith(QLatin1Char('-')))
            stem += QLatin1Char('-');
    }
    while (stem.endsWith(QLatin1Char('-')))
        stem.chop(1);
    return QStringLiteral("%1-%2").arg(index + 1, 2, 10, QLatin1Char('0')).arg(stem);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [SECONDS_PER_TAB]\n", argv[0]);
        return 2;
    }
    const QString outputDir = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 3;
    if (!QDir().mkpath(outputDir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    int result = 0;
    int appArgc = 1;
    const int status = runHalvoGui(appArgc, argv, [&](HStation &window) {
        auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
        if (!tabs) {
            std::fprintf(stderr, "no tab widget\n");
            QCoreApplication::exit(1);
            return;
        }
        // Each tab in turn: show it, let the timers refresh it, grab it.
        auto *shot = new QTimer(&window);
        QObject::connect(shot, &QTimer::timeout, &window, [&window, tabs, outputDir, &result, index = 0]() mutable {
            const QString path = QDir(outputDir).filePath(fileStem(index, tabs->tabText(index)) + ".png");
            if (savePicture(window.grab(), path)) {
                std::printf("%s\n", qPrintable(path));
            } else {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                result = 1;
            }
            if (++index == tabs->count())
                QCoreApplication::exit(result);
            else
                tabs->setCurrentIndex(index);
        });
        tabs->setCurrentIndex(0);
        shot->start(seconds * 1000);
    });
    return status;
}
