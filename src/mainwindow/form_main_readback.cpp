// Reading the device back: "Compare with device" colours the map by how the
// device's stored packets compare with the current configuration, element by
// element, and "Import from device" makes a new configuration of them.
//
// The fetch (TDeviceFetch) lives here beside the monitor window's transfer:
// the monitor forwards every SysEx message it receives, and the fetch checks
// the transfer's state before it starts and on every tick, so the two never
// talk to the device at the same time.

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <chrono>
#include <map>

#include "config_encoder.h"
#include "device_dump.h"
#include "device_fetch.h"
#include "device_reading.h"
#include "dialogs.h"
#include "element_catalogue.h"
#include "form_main.h"
#include "form_main_texts.h"
#include "form_midi_interface.h"
#include "form_midimon.h"
#include "log_class.h"
#include "surface_map.h"
#include "transfer_state_machine.h"

using namespace korvane;

namespace {

const QString kHintSeparator = QStringLiteral("\n\r");

// The comparison's own colours, kept apart from the assignment colours so the
// user sees at once that the map shows something else.
QColor compareColour(ElementState state) {
    switch (state) {
        case ElementState::Same:
            return QColor(46, 182, 76);
        case ElementState::Different:
        case ElementState::Faulty:
            return QColor(214, 52, 42);
        case ElementState::OnlyInLibrary:
            return QColor(236, 160, 24);
        case ElementState::OnlyOnDevice:
            return QColor(160, 84, 220);
        case ElementState::Unassigned:
            break;
    }
    return QColor(96, 96, 96);
}

std::string_view compareHintKey(ElementState state) {
    switch (state) {
        case ElementState::Same:
            return "readback.hint.same";
        case ElementState::Different:
            return "readback.hint.different";
        case ElementState::OnlyInLibrary:
            return "readback.hint.onlyLibrary";
        case ElementState::OnlyOnDevice:
            return "readback.hint.onlyDevice";
        case ElementState::Faulty:
            return "readback.hint.faulty";
        case ElementState::Unassigned:
            break;
    }
    return "readback.hint.unassigned";
}

// The element image of a list in another colour: the unassigned image's
// shading carried over to the colour, so the relief stays.
QPixmap tintedImage(const ImageList& list, QColor colour) {
    static std::map<std::pair<const ImageList*, QRgb>, QPixmap> cache;
    const auto key = std::make_pair(&list, colour.rgb());
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    QImage image = list.image(EEIMG_BLUE).toImage().convertToFormat(QImage::Format_ARGB32);
    // Grey value of the unassigned image's base tone: that shade becomes the colour itself.
    constexpr double kBaseGrey = 103.0;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            if (qAlpha(p) == 0) continue;
            const double f = qGray(p) / kBaseGrey;
            auto channel = [f](int c) { return std::min(255, static_cast<int>(c * f)); };
            line[x] =
                qRgba(channel(colour.red()), channel(colour.green()), channel(colour.blue()), qAlpha(p));
        }
    }
    return cache[key] = QPixmap::fromImage(image);
}

bool transferRunningIn(TMyStateMachine state) {
    // The requests and the firmware query are no transfer; every other state
    // (also one added later) is taken as one.
    switch (state) {
        case IDLE:
        case MANUAL_GET_VERSION:
        case GET_CONFIG_WAIT_VERSION:
        case GET_PROFILES_WAIT_VERSION:
            return false;
        default:
            return true;
    }
}

}  // namespace

class TFormMain::ReadbackHost : public QObject, public FetchHost {
public:
    enum class Purpose { Compare, Import, MotorProfiles };

    explicit ReadbackHost(TFormMain& w) : w_(w) {
        timer_.setObjectName(QStringLiteral("TimerDeviceFetch"));
        QObject::connect(&timer_, &QTimer::timeout, [this] { fetch.onTimer(); });
    }
    ~ReadbackHost() override {
        if (monitor_) monitor_->OnSysExReceived = nullptr;
        if (qApp) qApp->removeEventFilter(this);
    }

    TDeviceFetch fetch{*this};
    FetchSender sender;
    std::function<std::int64_t()> clock;
    bool compareShown = false;

    void begin(Purpose purpose) {
        if (!(w_.bMIDIinCreated && w_.bMIDIoutCreated)) {
            dialogs().error(noMidiInterfaceText());
            return;
        }
        w_.EndCompareView();
        const std::string lang = w_.language.toStdString();
        if (purpose == Purpose::Compare) {
            // The configuration is encoded first: one that cannot be sent
            // cannot be compared either, and the user hears why at once.
            if (!w_.XMLkonfig || !w_.XMLkonfig->isLoaded() || w_.CB_Set->currentText().isEmpty()) {
                dialogs().error(trText("main.no_configuration", w_.language));
                return;
            }
            class Report : public EncoderReport {
            public:
                explicit Report(std::string language) : language_(std::move(language)) {}
                void sendFactorZero(int) override {}
                void refused(const std::vector<EncodeProblem>& problems) override {
                    dialogs().error(fromStd(refusalMessage(problems, language_)));
                }

            private:
                std::string language_;
            } report(lang);
            configuration_ = w_.CB_Set->currentText().toStdString();
            const EncodeResult encoded = korvane::KonfigurationSenden(*w_.XMLkonfig, configuration_, report);
            if (encoded.status == EncodeResult::Status::UnknownConfiguration) {
                dialogs().error(trText("main.no_configuration", w_.language));
                return;
            }
            if (!encoded.ok()) return;
            libraryPackets_ = encoded.packets;
        }
        listen();
        const std::string_view refused = fetchStartRefusalKey(fetch.start(DumpKind::Configuration));
        if (!refused.empty()) {
            dialogs().info(trText(refused, w_.language));
            return;
        }
        purpose_ = purpose;
        if (fetch.running()) showLine(trText("readback.fetching", w_.language));
    }

    // The motor profile editor reads the device through this same fetch, so
    // the two windows never ask the device at once. The editor shows every
    // box itself (its own boxes must not count as leaving the window), so
    // nothing is shown here: the text key of a refusal is handed back, and
    // whatever the fetch brings goes to done.
    std::string_view beginProfiles(std::function<void(const FetchResult&)> done) {
        if (!(w_.bMIDIinCreated && w_.bMIDIoutCreated)) return "midi.noInterface";
        listen();
        const std::string_view refused = fetchStartRefusalKey(fetch.start(DumpKind::MotorProfiles));
        if (!refused.empty()) return refused;
        purpose_ = Purpose::MotorProfiles;
        profilesDone_ = std::move(done);
        return {};
    }

    // ---- FetchHost ----
    bool MidiSend(const ByteString& bytes) override {
        if (sender) return sender(bytes);
        return w_.FormMIDIMon && w_.FormMIDIMon->MidiSend(bytes);
    }
    void startTimer(int intervalMs) override { timer_.start(intervalMs); }
    void stopTimer() override { timer_.stop(); }
    std::int64_t nowMs() override {
        if (clock) return clock();
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    bool transferRunning() override {
        return w_.FormMIDIMon && transferRunningIn(w_.FormMIDIMon->MyStateMachine());
    }
    void log(std::string_view line) override { LogInfo(std::string(line)); }
    void fetchFinished(const FetchResult& result) override {
        // Boxes are shown after the input handler that brought the last
        // message has returned, never inside it.
        QTimer::singleShot(0, this, [this, result] { finished(result); });
    }

    // ---- the comparison view ----
    void endCompareView() {
        if (!compareShown) return;
        compareShown = false;
        qApp->removeEventFilter(this);
        showLine({});
        w_.HinweiseErzeugen();
        if (w_.LastElement) w_.EingabeElementFaerben(w_.LastElement, EEIMG_GREEN);
    }

protected:
    // The comparison stays on the map until the user clicks (or types)
    // anywhere in the main window; that click then does what it always does.
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (compareShown &&
            (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress)) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->window() == &w_) endCompareView();
        }
        return false;
    }

private:
    void listen() {
        if (!w_.FormMIDIMon) return;
        monitor_ = w_.FormMIDIMon;
        monitor_->OnSysExReceived = [this](const ByteString& message) { fetch.onSysEx(message); };
    }

    void showLine(const QString& line) {
        if (!w_.lbDeviceCompare) {
            if (line.isEmpty()) return;
            w_.lbDeviceCompare = new QLabel(&w_);
            w_.lbDeviceCompare->setObjectName(QStringLiteral("lbDeviceCompare"));
            w_.statusBar()->addWidget(w_.lbDeviceCompare, 1);
        }
        w_.lbDeviceCompare->setText(line);
    }

    void finished(const FetchResult& result) {
        if (purpose_ == Purpose::MotorProfiles) {
            auto done = std::move(profilesDone_);
            profilesDone_ = nullptr;
            if (done) done(result);
            return;
        }
        if (result.outcome != FetchResult::Outcome::Complete) {
            showLine({});
            if (result.outcome == FetchResult::Outcome::NotRecognised)
                LogError("device dump not recognised: " + result.detail);
            const FetchOutcomeBox box = fetchOutcomeBox(result.outcome);
            switch (box.kind) {
                case FetchOutcomeBox::Kind::Message:
                    dialogs().message(trText(box.key, w_.language));
                    break;
                case FetchOutcomeBox::Kind::Info:
                    dialogs().info(trText(box.key, w_.language));
                    break;
                case FetchOutcomeBox::Kind::Error:
                    dialogs().error(trText(box.key, w_.language));
                    break;
                case FetchOutcomeBox::Kind::None:
                    break;
            }
            return;
        }
        if (purpose_ == Purpose::Compare)
            showComparison(compareWithDevice(libraryPackets_, result.dump));
        else
            importDump(result.dump);
    }

    void showComparison(const ConfigComparison& comparison) {
        const std::string lang = w_.language.toStdString();
        // The comparison replaces the selection's green as well.
        w_.Selektiere(nullptr);
        for (int n = 0; n < kElementCount; ++n) {
            TImage* picture = w_.Get_EingabeElement_By_Number(n);
            const ImageList* list = picture ? imageListForTag(picture->Tag()) : nullptr;
            if (!list) continue;
            const ElementState state = comparison.states[static_cast<std::size_t>(n)];
            picture->setPicture(tintedImage(*list, compareColour(state)));
            picture->setHint(QString::fromStdString(Translate(Wie_lautet_EingabeElementName(n), lang)) +
                             kHintSeparator + trText(compareHintKey(state), w_.language));
        }
        const int differing = comparison.differing();
        showLine(differing == 0   ? trText("readback.equal", w_.language)
                 : differing == 1 ? trText("readback.differOne", w_.language)
                                  : trTextWith("readback.differ", w_.language, QString::number(differing)));
        compareShown = true;
        qApp->installEventFilter(this);
    }

    void importDump(const DeviceDump& dump) {
        showLine({});
        const std::string lang = w_.language.toStdString();
        const ImportPlan plan = planImport(dump);
        const QString notes = fromStd(importNotesText(plan, lang));
        if (plan.empty()) {
            const QString text = trText("readback.importEmpty", w_.language);
            if (notes.isEmpty())
                dialogs().info(text);
            else
                dialogs().error(text + QStringLiteral("\n\n") + notes);
            return;
        }
        // Nothing is written before the user has seen what was approximated
        // and has named the new configuration.
        if (!notes.isEmpty() && !dialogs().question(trTextWith("readback.importNotes", w_.language, notes)))
            return;
        if (!w_.XMLkonfig || !w_.XMLkonfig->isLoaded()) return;
        for (;;) {
            const auto name = dialogs().prompt(trText("library.config.new.caption", w_.language),
                                               trText("library.config.new.prompt", w_.language), QString());
            if (!name) return;
            const LibraryOutcome outcome = importConfiguration(*w_.XMLkonfig, name->toStdString(), plan);
            if (outcome.result == LibraryOutcome::Result::Refused) {
                // Asked again: the device's data should not have to be fetched anew.
                dialogs().error(fromStd(outcome.problem(lang)));
                continue;
            }
            // Recorded in the undo history as one change; a failure is shown there.
            if (w_.TakeOutcome(outcome)) w_.ShowConfiguration(*name);
            return;
        }
    }

    TFormMain& w_;
    QTimer timer_;
    QPointer<TFormMIDIMon> monitor_;
    Purpose purpose_ = Purpose::Compare;
    std::function<void(const FetchResult&)> profilesDone_;
    std::string configuration_;
    std::vector<ByteString> libraryPackets_;
};

TFormMain::ReadbackHost& TFormMain::readback() {
    if (!Readback) Readback = std::make_shared<ReadbackHost>(*this);
    return *Readback;
}

void TFormMain::Menu_Compare_With_Device_Click() { readback().begin(ReadbackHost::Purpose::Compare); }
void TFormMain::Menu_Import_From_Device_Click() { readback().begin(ReadbackHost::Purpose::Import); }

std::string TFormMain::FetchMotorProfiles(std::function<void(const korvane::FetchResult&)> done) {
    return std::string(readback().beginProfiles(std::move(done)));
}

void TFormMain::DeviceFetchInput(const ByteString& message) { readback().fetch.onSysEx(message); }
void TFormMain::DeviceFetchTimer() { readback().fetch.onTimer(); }
bool TFormMain::DeviceFetchRunning() const { return Readback && Readback->fetch.running(); }

bool TFormMain::CompareViewShown() const { return Readback && Readback->compareShown; }
void TFormMain::EndCompareView() {
    if (Readback) Readback->endCompareView();
}

void TFormMain::setFetchSender(FetchSender sender) { readback().sender = std::move(sender); }
void TFormMain::setFetchClock(std::function<std::int64_t()> clock) { readback().clock = std::move(clock); }
