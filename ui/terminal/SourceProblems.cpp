#include "ui/terminal/SourceProblems.h"

#include <ostream>

#include "app/Application.h"
#include "app/DisplayText.h"
#include "data/Data.h"
#include "engine/File.h"

namespace tavox {

void SourceProblems::Attach(const std::shared_ptr<Application>& app) {
    app->Subscribe(shared_from_this());
}

void SourceProblems::FileComplete(std::shared_ptr<File>& File, std::int32_t& /*Result*/) {
    if (!File) return;
    const Data& data = File->GetData();
    const Variant source = File->Source();
    const std::string* path = source.AsString();
    const std::string name = DisplayText(path ? *path : File->Name());
    if (data.SourceTooLong()) {
        err_ << "tavox: \"" << name << "\" holds more than " << MaxSourceSamples
             << " samples (4 GiB), more than a transform can address; it was not transformed\n"
             << std::flush;
        return;
    }
    const std::string problem = data.SourceProblem();
    if (!problem.empty()) err_ << "tavox: \"" << name << "\": " << DisplayText(problem) << '\n' << std::flush;
}

}  // namespace tavox
