#include "app/startup.h"

#ifndef NERELLE_WEB
#include "logs/log_import.h"

#include <stdlib.h>
#endif

#include <exception>
#include <filesystem>

namespace {

#ifndef NERELLE_WEB
// A scratch directory of this process's own, removed with the object.
class ScratchDirectory {
public:
    ScratchDirectory()
    {
        std::string name = (std::filesystem::temp_directory_path() / "nerelle-import-XXXXXX").string();
        if (::mkdtemp(name.data()))
            m_path = name;
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// The log imported into `scratch`/dataset; its directory, or empty after
// saying why in `status`.
std::string ImportLog(const std::string& log, const Options* options, const ScratchDirectory& scratch, Status& status,
                      std::string* report)
{
    ImportOptions import_options;
    if (options)
        for (const auto& [name, value] : options->import_options)
            if (status = ParseImportOption(name, value, import_options); !status)
                return "";
    ImportedDataset imported;
    if (status = ImportLogs({log}, import_options, imported); !status)
        return "";
    if (report)
        *report = FormatImportReport(imported);
    if (imported.FixCount() == 0) {
        status = Status::Failure(log + ": no fix could be imported");
        return "";
    }
    if (scratch.Path().empty()) {
        status = Status::Failure("cannot make a directory to import " + log + " into");
        return "";
    }
    const std::string directory = scratch.Path() + "/dataset";
    if (status = WriteImportedDataset(imported, directory, false); !status)
        return "";
    return directory;
}
#endif

}  // namespace

std::unique_ptr<DemoApplication> CreateApplication(ViewState& view, const std::string& directory, Status& status,
                                                   const Options* options, std::string* import_report)
{
    std::string dataset = directory.empty() ? kDefaultDiveDirectory : directory;
#ifndef NERELLE_WEB
    // A log is imported as nerelle-dive import does, into a directory that
    // lives only while the dataset loads.
    ScratchDirectory scratch;
    std::error_code ec;
    if (std::filesystem::is_regular_file(dataset, ec)) {
        dataset = ImportLog(dataset, options, scratch, status, import_report);
        if (dataset.empty())
            return nullptr;
    }
#else
    (void)import_report;
#endif
    std::unique_ptr<DemoApplication> application;
    try {
        application = std::make_unique<DemoApplication>(view, dataset);
    } catch (const std::exception& e) {
        status = Status::Failure(e.what());
        return nullptr;
    }
    if (options) {
        ApplyViewOptions(*application, *options);
        if (!options->track.empty() && !application->SelectTrack(options->track)) {
            status = Status::Failure("--track " + options->track + ": the dataset has no track of that name to follow");
            return nullptr;
        }
    }
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
