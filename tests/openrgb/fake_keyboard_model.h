// A keyboard as the OpenRGB server sees it, for the server's tests, fuzzing
// and benchmark: the image it shows, what it was asked to do, and changes
// that end when the test says so (or at once).
#pragma once

#include "config/image.h"
#include "device/identities.h"
#include "openrgb/keyboard_controllers.h"
#include "openrgb/sdk_service.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zr417::openrgb {

class FakeKeyboardModel : public KeyboardModel {
public:
    bool present() const override { return present_; }
    KeyboardFacts facts() const override { return facts_; }
    const ConfigImage& image() const override { return *image_; }
    bool canChange() const override { return canChange_; }
    void applyLighting(const ConfigImage& lighting, std::function<void()> done) override
    {
        CopyLighting(lighting, *image_);
        applied.push_back(*image_);
        end(std::move(done));
    }
    std::vector<std::string> profiles() override { return profiles_; }
    void saveProfile(const std::string& name, const ConfigImage& image) override
    {
        saved.emplace_back(name, image.at(settings::Effect));
    }
    void loadProfile(const std::string& name, std::function<void()> done) override
    {
        loads.push_back(name);
        image_->at(settings::Effect) = 12;  // the profile shows DIY2
        end(std::move(done));
    }
    void deleteProfile(const std::string& name) override { deleted.push_back(name); }

    // Ends the oldest running change.
    void finish()
    {
        auto done = std::move(running.front());
        running.pop_front();
        done();
    }

    bool present_ = true;
    bool canChange_ = true;
    bool changesWait_ = false;  // a change runs until finish(), else it ends at once
    KeyboardFacts facts_{kModelQV310, 1, 4, "SN1", "/dev/hidraw3"};
    std::vector<std::string> profiles_{"Gaming", "Work"};
    // On the heap: the image is 213 KB.
    std::unique_ptr<ConfigImage> image_ = std::make_unique<ConfigImage>();
    std::vector<ConfigImage> applied;
    std::deque<std::function<void()>> running;
    std::vector<std::pair<std::string, int>> saved;
    std::vector<std::string> loads, deleted;

private:
    void end(std::function<void()> done)
    {
        if (changesWait_)
            running.push_back(std::move(done));
        else
            done();
    }
};

}  // namespace zr417::openrgb
