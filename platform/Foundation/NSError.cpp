#include "NSError.h"

NSError NSError::make(std::string domain, long code, std::string description) {
    NSError e;
    e.domain = std::move(domain);
    e.code = code;
    e.localizedDescription = std::move(description);
    return e;
}
