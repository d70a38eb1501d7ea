#include "instructions/VariableRef.h"

#include <cctype>

#include "base/TextUtil.h"
#include "launcher/Launcher.h"

namespace {

[[noreturn]] void fail(const SString& prefix, const char* reason, const SString& detail,
                       const char* closing) {
    SString message(prefix);
    message += " ";
    message += reason;
    message += detail;
    message += closing;
    throw LauncherException(message);
}

}  // namespace

void VariableRef::init(const SString& reference, const SString& prefix) {
    if (reference.length() < 2) {
        fail(prefix, "Variable references must be at least 2 characters (e.g. N1 and S10).",
             SString(), "");
    }
    char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(reference[0])));
    if (kind != 'N' && kind != 'S') {
        fail(prefix, "Invalid variable reference (", reference,
             "). Must use N or S as the variable type, e.g. N2 or S1.");
    }
    SString numberText(reference, 1, SString::npos);
    long number = 0;
    bool valid = convertToLong(numberText, number) &&
                 (kind == 'N' ? Launcher::isValidLongVariable(number)
                              : Launcher::isValidStringVariable(number));
    if (!valid) {
        fail(prefix, "Variable number is invalid (", numberText, ")");
    }
    m_kind = kind;
    m_number = number;
}

void VariableRef::setValue(const SString& value, const SString& prefix) const {
    if (!isNumeric()) {
        Launcher::setStringVariable(m_number, value);
        return;
    }
    long number = 0;
    if (!convertToLong(value, number)) {
        fail(prefix, "Invalid numeric expression in ", value, "");
    }
    Launcher::setLongVariable(m_number, number);
}

SString VariableRef::getStringValue() const {
    if (isNumeric()) {
        return convertToString(Launcher::getLongVariable(m_number));
    }
    return Launcher::getStringVariable(m_number);
}

long VariableRef::getNumericValue(const SString& prefix) const {
    if (!isNumeric()) {
        SString message(prefix);
        message += " into a numeric value.";
        throw LauncherException(message);
    }
    return Launcher::getLongVariable(m_number);
}
