#pragma once
// The one door through which tests reach the main window's components and
// state. Components are found by their objectName or through parts(); what the
// window keeps for itself (language, document, selection, the message shown
// last, whether the ports exist) is reached here, so a test says plainly
// that it looks behind the window's back.

#include <QString>
#include <memory>

#include "form_main.h"

struct TFormMainTestAccess {
    static TFormMainParts& parts(TFormMain& w) { return w; }
    static const TFormMainParts& parts(const TFormMain& w) { return w; }
    static QString& language(TFormMain& w) { return w.language; }
    static const QString& language(const TFormMain& w) { return w.language; }
    static korvane::ConfigDocument& document(TFormMain& w) { return *w.XMLkonfig; }
    static const korvane::ConfigDocument& document(const TFormMain& w) { return *w.XMLkonfig; }
    static int& selectedElement(TFormMain& w) { return w.GeradeSelektierteEingabeElementNummer; }
    static korvane::TImage*& lastElement(TFormMain& w) { return w.LastElement; }
    static korvane::TMessageRecord& shownMessage(TFormMain& w) { return w.LetzteMessage; }
    static QString& configurationName(TFormMain& w) { return w.glb_KonfigName; }
    static bool& inputPortCreated(TFormMain& w) { return w.bMIDIinCreated; }
    static bool& outputPortCreated(TFormMain& w) { return w.bMIDIoutCreated; }
    static bool panelShowsMessage(const TFormMain& w) { return w.PanelShowsMessage; }
    // Reads the working document again and refills the lists, keeping the
    // user's choices, as after a change on disk.
    static void readDocumentAgain(TFormMain& w) {
        w.XMLkonfig->reload();
        w.RefreshLists();
    }
};

// The window's components, for a test that works them as a user would.
inline TFormMainParts& parts(TFormMain& w) { return TFormMainTestAccess::parts(w); }
inline const TFormMainParts& parts(const TFormMain& w) { return TFormMainTestAccess::parts(w); }
inline TFormMainParts& parts(TFormMain* w) { return TFormMainTestAccess::parts(*w); }
inline TFormMainParts& parts(const std::unique_ptr<TFormMain>& w) { return TFormMainTestAccess::parts(*w); }
