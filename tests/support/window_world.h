#pragma once
// A temporary home for one run of the editor's windows: its data folder,
// its settings and the folder of the shipped defaults, all below one
// temporary folder that goes away with the test. Window tests make one,
// write the library the window should find, and start the window on it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

#include "form_main.h"
#include "midi_in.h"
#include "midi_out.h"

namespace korvane::testing {

class WindowWorld {
public:
    // A world without shipped defaults; setDefault() writes them.
    WindowWorld() {
        qputenv("XDG_DATA_HOME", data().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config().toLocal8Bit());
        // QSettings keeps its folder once looked up; point it here explicitly.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config());
        QDir().mkpath(program());
    }
    // A world whose shipped default library is library.
    explicit WindowWorld(const QByteArray& library) : WindowWorld() { setDefault(library); }

    QString root() const { return dir_.path(); }
    QString data() const { return dir_.path() + QStringLiteral("/data"); }
    QString config() const { return dir_.path() + QStringLiteral("/config"); }
    QString program() const { return dir_.path() + QStringLiteral("/program"); }
    // The working document the window copies the default to and edits.
    QString working() const { return data() + QStringLiteral("/Pellux3/korvane.xml"); }

    // The shipped default library, and an empty motor profile document
    // beside it.
    void setDefault(const QByteArray& library) const {
        writeProgramFile(QStringLiteral("korvane.def"), library);
        writeProgramFile(QStringLiteral("motorprofile.def"), "<motorprofiles/>\n");
    }
    void writeProgramFile(const QString& name, const QByteArray& content) const {
        QFile f(program() + QLatin1Char('/') + name);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw std::runtime_error("cannot write " + f.fileName().toStdString());
        f.write(content);
    }
    // The remembered interface language, as the language menu stores it.
    void setLanguage(const QString& code) const {
        QSettings s(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("vandrell"),
                    QStringLiteral("Korvane"));
        s.setValue(QStringLiteral("Prefs/language"), code);
    }
    // The program log written so far.
    QString log() const {
        QFile f(data() + QStringLiteral("/Pellux3/logs/Korvane.log"));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll());
    }

private:
    QTemporaryDir dir_;
};

// Port factories of a machine without MIDI: making either port fails.
inline void withoutMidi(TFormMain& window) {
    window.setPortFactories(
        []() -> std::unique_ptr<korvane::TMidiInput> { throw korvane::EMidiInputError("Invalid device ID"); },
        []() -> std::unique_ptr<korvane::TMidiOutput> {
            throw korvane::EmidioutputError("Invalid device ID");
        });
}

// A shown main window on world, on a machine without MIDI.
inline std::unique_ptr<TFormMain> startWindow(const WindowWorld& world) {
    auto w = std::make_unique<TFormMain>();
    w->setProgramFolder(world.program());
    withoutMidi(*w);
    w->show();
    return w;
}

}  // namespace korvane::testing
