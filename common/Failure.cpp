#include "common/Failure.h"

std::string FailureText(const std::exception& e) {
    if (const auto* f = dynamic_cast<const Failure*>(&e))
        return std::to_string(f->number) + " " + f->description;
    return std::to_string(kErrInvalidCall) + " " + e.what();
}
