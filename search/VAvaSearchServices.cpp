#include "VAvaSearchServices.h"

std::shared_ptr<VAvaSearchServices> VAvaSearchServices::sharedServices() {
    static const std::shared_ptr<VAvaSearchServices> shared(new VAvaSearchServices());
    return shared;
}
