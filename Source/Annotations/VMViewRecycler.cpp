#include "VMViewRecycler.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

#include "Foundation/NSNotificationCenter.h"
#include "UIKit/UIApplication.h"

namespace {

// The class's own name, as an application would write it to dequeue such views.
std::string className(const UIView& view) {
    const char* mangled = typeid(view).name();
    int status = 0;
    char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && plain ? plain : mangled;
    std::free(plain);
    return name;
}

}  // namespace

std::shared_ptr<VMViewRecycler> VMViewRecycler::create() {
    auto recycler = std::shared_ptr<VMViewRecycler>(new VMViewRecycler());
    NSNotificationCenter::defaultCenter()->addObserver<VMViewRecycler>(
        recycler, UIApplicationDidReceiveMemoryWarningNotification, nullptr,
        [](VMViewRecycler& r, const NSNotification&) { r.reduceMemoryUsage(); });
    return recycler;
}

VMViewRecycler::~VMViewRecycler() { NSNotificationCenter::defaultCenter()->removeObserver(this); }

void VMViewRecycler::recycleView(const std::shared_ptr<UIView>& view) {
    if (!view) return;
    std::string key;
    if (const auto* recyclable = dynamic_cast<const VMRecyclableView*>(view.get())) {
        key = recyclable->reuseIdentifier();
    }
    if (key.empty()) key = className(*view);
    pool_[key].push_back(view);
}

std::shared_ptr<UIView> VMViewRecycler::dequeueReusableViewWithIdentifier(
    const std::string& identifier) {
    const auto it = pool_.find(identifier);
    if (it == pool_.end() || it->second.empty()) return nullptr;
    auto view = std::move(it->second.back());
    it->second.pop_back();
    if (auto* recyclable = dynamic_cast<VMRecyclableView*>(view.get())) {
        recyclable->prepareForReuse();
    }
    return view;
}
