#include "instructions/VariableRef.h"

#include <cctype>

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "instructions/ScriptVariables.h"

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
    char parsedKind = static_cast<char>(std::toupper(static_cast<unsigned char>(reference[0])));
    if (parsedKind != 'N' && parsedKind != 'S') {
        fail(prefix, "Invalid variable reference (", reference,
             "). Must use N or S as the variable type, e.g. N2 or S1.");
    }
    SString numberText(reference, 1, SString::npos);
    long parsedNumber = 0;
    bool valid = convertToLong(numberText, parsedNumber) &&
                 (parsedKind == 'N' ? ScriptVariables::isValidLongVariable(parsedNumber)
                                    : ScriptVariables::isValidStringVariable(parsedNumber));
    if (!valid) {
        fail(prefix, "Variable number is invalid (", numberText, ")");
    }
    m_kind = parsedKind;
    m_number = parsedNumber;
}

void VariableRef::setValue(const SString& value, const SString& prefix) const {
    if (!isNumeric()) {
        ScriptVariables::setStringVariable(m_number, value);
        return;
    }
    long numericValue = 0;
    if (!convertToLong(value, numericValue)) {
        fail(prefix, "Invalid numeric expression in ", value, "");
    }
    ScriptVariables::setLongVariable(m_number, numericValue);
}

SString VariableRef::getStringValue() const {
    if (isNumeric()) {
        return convertToString(ScriptVariables::getLongVariable(m_number));
    }
    return ScriptVariables::getStringVariable(m_number);
}

long VariableRef::getNumericValue(const SString& prefix) const {
    if (!isNumeric()) {
        SString message(prefix);
        message += " into a numeric value.";
        throw LauncherException(message);
    }
    return ScriptVariables::getLongVariable(m_number);
}
