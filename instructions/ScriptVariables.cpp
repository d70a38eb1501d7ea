#include "instructions/ScriptVariables.h"

#include <algorithm>
#include <iterator>

#include "base/LauncherException.h"
#include "base/TextUtil.h"

SString ScriptVariables::s_strings[ScriptVariables::kStringVariables];
long ScriptVariables::s_numbers[ScriptVariables::kNumericVariables] = {0, 0, 0, 0, 0};

namespace {

[[noreturn]] void throwInvalid(const char* kind, long n) {
    throw LauncherException(concat("Invalid ", kind, " variable number: ", convertToString(n)));
}

}  // namespace

SString ScriptVariables::getStringVariable(long n) {
    if (!isValidStringVariable(n)) {
        throwInvalid("string", n);
    }
    return s_strings[n - 1];
}

void ScriptVariables::setStringVariable(long n, const SString& value) {
    if (!isValidStringVariable(n)) {
        throwInvalid("string", n);
    }
    s_strings[n - 1] = value;
}

long ScriptVariables::getLongVariable(long n) {
    if (!isValidLongVariable(n)) {
        throwInvalid("numeric", n);
    }
    return s_numbers[n - 1];
}

void ScriptVariables::setLongVariable(long n, long value) {
    if (!isValidLongVariable(n)) {
        throwInvalid("numeric", n);
    }
    s_numbers[n - 1] = value;
}

void ScriptVariables::resetForTest() {
    std::fill(std::begin(s_strings), std::end(s_strings), SString());
    std::fill(std::begin(s_numbers), std::end(s_numbers), 0L);
}
