#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Foundation/NSObject.h"
#include "UIKit/UIView.h"

// A view that the recycler keeps for reuse. Views without an identifier are kept under their
// class name.
class VMRecyclableView {
  public:
    virtual ~VMRecyclableView() = default;
    virtual void prepareForReuse() {}
    virtual std::string reuseIdentifier() const { return {}; }
};

// A pool of annotation views that left the screen, by reuse identifier; the last one in is the
// first one out. A memory warning empties it. Main thread only.
class VMViewRecycler : public NSObject {
  public:
    using Pool = std::map<std::string, std::vector<std::shared_ptr<UIView>>, std::less<>>;

    static std::shared_ptr<VMViewRecycler> create();
    ~VMViewRecycler() override;

    // The caller takes the view out of its superview first.
    void recycleView(const std::shared_ptr<UIView>& view);
    std::shared_ptr<UIView> dequeueReusableViewWithIdentifier(const std::string& identifier);
    void removeAllViews() { pool_.clear(); }
    void reduceMemoryUsage() { removeAllViews(); }
    const Pool& reuseIdentifiersToRecycledViews() const { return pool_; }
    void setReuseIdentifiersToRecycledViews(Pool pool) { pool_ = std::move(pool); }

  private:
    VMViewRecycler() = default;
    Pool pool_;
};
