#pragma once

#include "server/adapter_interfaces.h"
#include "server/driver_request.h"

namespace nalvexa {

// Stands for an adapter that is not built yet: it answers every request
// with the generic failure, so that a client is never left waiting.
class CPlaceholderAdapter : public IDriverAdapter {
public:
    std::string GetTitle() const override { return title_; }
    void SetTitle(const std::string& title) override { title_ = title; }
    void SetServices(IAdapterServices*) override {}
    void Execute(DriverRequest* request) override
    {
        request->status = 1;
        request->replySink->SendReply();
    }
    void ShowSetup() override {}
    void InstallMenu() override {}
    void SaveSettings() override {}

private:
    std::string title_;
};

}  // namespace nalvexa
