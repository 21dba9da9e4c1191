// Creating the application, the one way the window, the headless run, the
// web page, the flight tool, the benchmarks and the tests do it: on a
// context that StartGL (gl/gl_start.h) has made ready, with the command
// line's view options.
#pragma once

#include "app/demo_application.h"
#include "app/options.h"
#include "app/view_state.h"
#include "core/status.h"

#include <memory>
#include <string>

// The application on the dataset in `directory` (the default dive when
// empty), drawing through `view`, with `options`' view switches applied
// when given. A track log in place of the directory is imported first, with
// `options`' import options, and its report goes to `import_report`. Null
// with the reason in `status` when the dataset cannot be loaded; nothing is
// printed.
std::unique_ptr<DemoApplication> CreateApplication(ViewState& view, const std::string& directory, Status& status,
                                                   const Options* options = nullptr,
                                                   std::string* import_report = nullptr);

// The view options of the command line (--follow, --error-view,
// --error-thresholds), for the window and for batch work alike.
void ApplyViewOptions(DemoApplication& application, const Options& options);
