// The interface language. The program's texts are its own Korean ones; English is a
// translation table (Qt's translation system, the Korean text as the source) chosen by the
// environment variable TAVIK_LANGUAGE ("en" or "ko"), else by the setting user\Language that
// the settings dialog writes, else Korean.
//
// Texts reach the screen translated at a few seams rather than at every call site: Tr for the
// message box, the menus and the list headers, and CWidgetTranslator for the labels, buttons
// and window titles of every window. With Korean chosen no translator is installed and every
// text stays exactly as written.
// Threads: user-interface thread; Tr from any thread (the table is installed at start-up, before
// any worker runs, and Qt's lookup is thread-safe).
#pragma once

#include <QString>

namespace tavik::app {

class CLanguage {
public:
    enum class Language { Korean, English };

    // TAVIK_LANGUAGE, then the setting, then Korean.
    static Language Chosen();
    // The setting alone (what the settings dialog shows).
    static Language Stored();
    static bool Store(Language language);

    // Installs the language's translation for the whole application (nothing for Korean);
    // false when its table cannot be loaded (the program then stays Korean).
    static bool Install(Language language);
    // Removes an installed translation (back to Korean).
    static void Uninstall();
    static Language Installed();

    // The text in the installed language; the text itself when it has no translation. A text
    // composed from pieces is translated as its template ("%1초"), before the pieces go in.
    static QString Tr(const QString& korean);
};

} // namespace tavik::app
