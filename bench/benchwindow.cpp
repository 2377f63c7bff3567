#include "benchwindow.h"

#include "libhalvo/backends/sim/halvo_sim.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

void resetBenchBoard(const char *patch)
{
    halvo_sim_reset();
    halvo_sim_freeze_clock(1);
    if (patch && halvo_sim_patch_board(nullptr, patch) != 0) {
        std::fprintf(stderr, "simulated board refused the patch: %s\n", halvo_sim_last_error());
        std::exit(1);
    }
}

const char *manySensorsPatch()
{
    static const QByteArray patch = [] {
        QByteArray temps, volts, fans;
        for (int i = 0; i < 64; ++i) {
            temps += (i ? "," : "") + QByteArray(R"({"name": "T)") + QByteArray::number(i) +
                     R"(", "valueMilliCelsius": )" + QByteArray::number(30000 + 250 * i) + "}";
            volts += (i ? "," : "") + QByteArray(R"({"name": "V)") + QByteArray::number(i) +
                     R"(", "valueMilliVolt": )" + QByteArray::number(1000 + 50 * i) + "}";
        }
        fans = R"({"name": "CPU-Fan", "role": "cpu", "maxRpm": 5000, "duty": 128})";
        for (int i = 1; i < 32; ++i)
            fans += R"(, {"name": "F)" + QByteArray::number(i) + R"(", "maxRpm": 3000, "duty": 100})";
        return R"({"temperatureSensors": [)" + temps + R"(], "voltageSensors": [)" + volts + R"(], "fans": [)" + fans +
               "]}";
    }();
    return patch.constData();
}

const char *manyTemperaturesPatch()
{
    static const QByteArray patch = [] {
        QByteArray temps;
        for (int i = 0; i < 200; ++i)
            temps += (i ? "," : "") + QByteArray(R"({"name": "T)") + QByteArray::number(i) +
                     R"(", "valueMilliCelsius": )" + QByteArray::number(25000 + 250 * i) + "}";
        return R"({"temperatureSensors": [)" + temps + "]}";
    }();
    return patch.constData();
}

std::unique_ptr<HStation> shownWindow(const char *widgetName)
{
    auto window = std::make_unique<HStation>();
    auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    const QWidget *target = window->findChild<QWidget *>(QLatin1String(widgetName));
    for (int i = 0; tabs && target && i < tabs->count(); ++i) {
        if (tabs->widget(i)->isAncestorOf(target))
            tabs->setCurrentIndex(i);
    }
    window->show();
    QApplication::processEvents();
    return window;
}

void stopTimers(HStation &window)
{
    for (QTimer *timer : window.findChildren<QTimer *>())
        timer->stop();
}

BenchSettings::BenchSettings(const std::string &text) : previous_(qgetenv("HALVO_CONF"))
{
    QFile file(dir_.filePath(QStringLiteral("halvo.conf")));
    if (!dir_.isValid() || !file.open(QIODevice::WriteOnly) || file.write(text.c_str()) != qint64(text.size())) {
        std::fprintf(stderr, "cannot write the settings file\n");
        std::exit(1);
    }
    qputenv("HALVO_CONF", file.fileName().toLocal8Bit());
}

BenchSettings::~BenchSettings()
{
    if (previous_.isNull())
        qunsetenv("HALVO_CONF");
    else
        qputenv("HALVO_CONF", previous_);
}
