#include "app/shell/CLanguage.h"

#include "app/settings/CProfile.h"
#include "app/shell/CWidgetTranslator.h"

#include <QCoreApplication>
#include <QTranslator>

#include <cstdlib>
#include <memory>

namespace tavik::app {

namespace {

constexpr char kContext[] = "tavik";
constexpr std::u16string_view kSection = u"user";
constexpr std::u16string_view kEntry = u"Language";

struct Installation {
    std::unique_ptr<QTranslator> translator;
    std::unique_ptr<CWidgetTranslator> widgets;
    CLanguage::Language language = CLanguage::Language::Korean;
};

Installation& Current() {
    static Installation installation;
    return installation;
}

CLanguage::Language FromCode(const QString& code, CLanguage::Language otherwise) {
    if (code.compare(QStringLiteral("en"), Qt::CaseInsensitive) == 0) {
        return CLanguage::Language::English;
    }
    if (code.compare(QStringLiteral("ko"), Qt::CaseInsensitive) == 0) {
        return CLanguage::Language::Korean;
    }
    return otherwise;
}

} // namespace

CLanguage::Language CLanguage::Stored() {
    return FromCode(QString::fromStdU16String(CProfile().GetString(kSection, kEntry, u"ko")),
                    Language::Korean);
}

CLanguage::Language CLanguage::Chosen() {
    const char* environment = std::getenv("TAVIK_LANGUAGE");
    return FromCode(QString::fromUtf8(environment != nullptr ? environment : ""), Stored());
}

bool CLanguage::Store(Language language) {
    return CProfile().WriteString(kSection, kEntry, language == Language::English ? u"en" : u"ko");
}

bool CLanguage::Install(Language language) {
    Uninstall();
    if (language == Language::Korean) {
        return true;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral(":/i18n/tavik_en.qm"))) {
        return false;
    }
    Installation& current = Current();
    QCoreApplication::installTranslator(translator.get());
    current.translator = std::move(translator);
    current.widgets = std::make_unique<CWidgetTranslator>();
    QCoreApplication::instance()->installEventFilter(current.widgets.get());
    current.language = language;
    return true;
}

void CLanguage::Uninstall() {
    Installation& current = Current();
    if (current.translator) {
        QCoreApplication::removeTranslator(current.translator.get());
    }
    current.widgets.reset();
    current.translator.reset();
    current.language = Language::Korean;
}

CLanguage::Language CLanguage::Installed() {
    return Current().language;
}

QString CLanguage::Tr(const QString& korean) {
    if (!Current().translator || korean.isEmpty()) {
        return korean;
    }
    return QCoreApplication::translate(kContext, korean.toUtf8().constData());
}

} // namespace tavik::app
