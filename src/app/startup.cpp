#include "app/startup.h"

#include <exception>

std::unique_ptr<DemoApplication> CreateApplication(ViewState& view, const std::string& directory, Status& status,
                                                   const Options* options)
{
    std::unique_ptr<DemoApplication> application;
    try {
        application = std::make_unique<DemoApplication>(view, directory.empty() ? kDefaultDiveDirectory : directory);
    } catch (const std::exception& e) {
        status = Status::Failure(e.what());
        return nullptr;
    }
    if (options)
        ApplyViewOptions(*application, *options);
    status = Status::Ok();
    return application;
}

void ApplyViewOptions(DemoApplication& application, const Options& options)
{
    application.View().follow = options.follow;
    application.View().error_view = options.error_view;
    if (options.error_thresholds)
        application.SetErrorThresholds(options.error_thresholds->first, options.error_thresholds->second);
}
