#pragma once
// The two forms of a `try` report: text for a person, one JSON document for
// a program (field names as the README's table gives them).

#include <ostream>

#include "try/report.h"

namespace quenlith_try {

void PrintText(const Report& report, std::ostream& out);
void PrintJson(const Report& report, std::ostream& out);

}  // namespace quenlith_try
