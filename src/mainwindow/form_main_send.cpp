// Sending the current configuration to the device: the window side. The
// encoding itself is the transfer library's; the window shows each assigned
// element selected on the map while it is encoded, moves the progress bar,
// and hands the packet stream to the monitor window's transfer.

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>

#include "config_encoder.h"
#include "dialogs.h"
#include "form_main.h"
#include "form_main_texts.h"
#include "form_midi_interface.h"
#include "form_midimon.h"

void TFormMain::setTransferStarter(TransferStarter starter) { StartTransfer = std::move(starter); }

void TFormMain::btSendClick() {
    // A transfer would take the device's dump for acknowledgements.
    if (DeviceFetchRunning()) {
        korvane::dialogs().info(trText("readback.fetchRunning", language));
        return;
    }
    if (bMIDIinCreated && bMIDIoutCreated) {
        KonfigurationZumKorvaneSenden();
    } else {
        korvane::dialogs().error(korvane::noMidiInterfaceText());
    }
}

void TFormMain::Menu_Sende_Konfiguration_Click() { btSendClick(); }

void TFormMain::KonfigurationZumKorvaneSenden() {
    btSend->setEnabled(false);
    gb_MessageAuswahl->setEnabled(false);
    gb_Message->setEnabled(false);
    Menu_Sende_Konfiguration_->setEnabled(false);
    btSend->setText(trText("main.btSend.busy", language));
    const bool started = KonfigurationSenden();
    Selektiere(nullptr);
    // Without a started transfer nobody else will give the controls back.
    if (!started) InitSendButton();
}

namespace {

class WindowEncoderReport : public korvane::EncoderReport {
public:
    WindowEncoderReport(TFormMain& window, QProgressBar* progress, std::string language)
        : w(window), progress_(progress), language_(std::move(language)) {}

    void elementProgress(int elementNumber, bool assigned) override {
        if (assigned) {
            if (korvane::TImage* picture = w.Get_EingabeElement_By_Number(elementNumber)) {
                w.Selektiere(picture);
                // Let the map and the panel repaint, so the user sees which
                // element is being read.
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            }
        }
        progress_->setValue(elementNumber);
    }

    void sendFactorZero(int) override {
        korvane::dialogs().message(fromStd(korvane::sendFactorZeroMessage(language_)));
    }

    void refused(const std::vector<korvane::EncodeProblem>& problems) override {
        korvane::dialogs().error(fromStd(korvane::refusalMessage(problems, language_)));
    }

private:
    TFormMain& w;
    QProgressBar* progress_;
    std::string language_;
};

}  // namespace

bool TFormMain::KonfigurationSenden() {
    if (!XMLkonfig || !XMLkonfig->isLoaded() || CB_Set->currentText().isEmpty()) {
        korvane::dialogs().error(trText("main.no_configuration", language));
        return false;
    }
    ProgressBar1->setRange(0, 63);  // follows the element number while encoding
    WindowEncoderReport report(*this, ProgressBar1, language.toStdString());
    const korvane::EncodeResult result =
        korvane::KonfigurationSenden(*XMLkonfig, CB_Set->currentText().toStdString(), report);
    if (result.status == korvane::EncodeResult::Status::UnknownConfiguration) {
        korvane::dialogs().error(trText("main.no_configuration", language));
        return false;
    }
    if (!result.ok()) return false;  // the refusal has been shown; nothing is sent
    // The device stores what it receives in place of what it held, so a
    // configuration without a single assignment wipes the stored one.
    if (result.packets.empty() && !korvane::dialogs().question(trTextWith("transfer.emptyConfiguration",
                                                                          language, CB_Set->currentText())))
        return false;
    // From here the bar follows the transfer (ShowTransferProgress).
    const korvane::TransferProgress start = korvane::transferProgress(
        korvane::TransferStage::PacketSent, 0, static_cast<int>(result.packets.size()));
    ProgressBar1->setRange(0, start.maximum);
    ProgressBar1->setValue(start.value);

    if (StartTransfer) {
        StartTransfer(result.stream);
    } else if (FormMIDIMon) {
        FormMIDIMon->SendConfiguration(result.stream);
    } else {
        return false;
    }
    return true;
}

void TFormMain::InitSendButton() {
    btSend->setText(trText("main.btSend", language));
    ProgressBar1->setValue(0);
    btSend->setEnabled(true);
    gb_Message->setEnabled(true);
    gb_MessageAuswahl->setEnabled(true);
    Menu_Sende_Konfiguration_->setEnabled(true);
}

void TFormMain::SetSendCaption(const QString& caption) { btSend->setText(caption); }

void TFormMain::ShowTransferProgress(korvane::TransferStage stage, int packetIndex, int packetCount) {
    // The end, good or bad, is InitSendButton's: it empties the bar.
    if (stage == korvane::TransferStage::Finished || stage == korvane::TransferStage::Aborted) return;
    const korvane::TransferProgress p = korvane::transferProgress(stage, packetIndex, packetCount);
    ProgressBar1->setRange(0, p.maximum);
    ProgressBar1->setValue(p.value);
}
