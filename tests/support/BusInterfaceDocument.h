// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <map>
#include <span>
#include <string>
#include <vector>

#include "protocol/BusMethod.h"

namespace drivetherm::testing {

// One method as a D-Bus introspection document describes it.
struct IntrospectedMethod {
    std::string name;
    std::string in;   // the arguments' types in order: the method's signature
    std::string out;  // the reply's
    std::vector<std::string> inNames;
    std::vector<std::string> outNames;
    std::map<std::string, std::string> annotations;
};

// The methods of every interface in a document, by interface name, in document order. Enough of
// XML for introspection data: elements, attributes, comments, the document type; signals and
// properties are skipped. Throws std::runtime_error where the text is not such a document.
std::map<std::string, std::vector<IntrospectedMethod>> parseIntrospection(const std::string& xml);

// How a document's methods differ from a table's, one line per difference; empty when they
// agree in order, names, signatures and argument names. With `authorization` set, a method is
// annotated with that polkit action exactly when the table marks it privileged.
std::string introspectionDifferences(std::span<const BusMethod> table,
                                     const std::vector<IntrospectedMethod>& document,
                                     const std::string& authorization = "");

}  // namespace drivetherm::testing
