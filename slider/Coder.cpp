// SPDX-License-Identifier: GPL-2.0-or-later
#include "slider/Coder.h"

#include <stdexcept>

namespace drivetherm {

namespace {

[[noreturn]] void wrongForm(const char* what) {
    throw std::logic_error(std::string("this coder does not support ") + what);
}

}  // namespace

void Coder::encodeDoubleForKey(double, const std::string&) {
    wrongForm("keyed values");
}
void Coder::encodeBoolForKey(bool, const std::string&) {
    wrongForm("keyed values");
}
bool Coder::containsValueForKey(const std::string&) const {
    wrongForm("keyed values");
}
double Coder::decodeDoubleForKey(const std::string&) const {
    wrongForm("keyed values");
}
bool Coder::decodeBoolForKey(const std::string&) const {
    wrongForm("keyed values");
}

void Coder::encodeDouble(double) {
    wrongForm("sequential values");
}
void Coder::encodeByte(std::int8_t) {
    wrongForm("sequential values");
}
std::optional<double> Coder::decodeDouble() {
    wrongForm("sequential values");
}
std::optional<std::int8_t> Coder::decodeByte() {
    wrongForm("sequential values");
}

}  // namespace drivetherm
