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

// Nothing is built for a file that had no problem: a steady batch allocates nothing here.
void SourceProblems::FileComplete(std::shared_ptr<File>& File, std::int32_t& /*Result*/) {
    if (!File) return;
    const Data& data = File->GetData();
    const bool tooLong = data.SourceTooLong();
    const std::string problem = tooLong ? std::string() : data.SourceProblem();
    if (!tooLong && problem.empty()) return;
    const Variant source = File->Source();
    const std::string* path = source.AsString();
    const std::string name = DisplayText(path ? *path : File->Name());
    if (tooLong) {
        err_ << "tavox: \"" << name << "\" holds more than " << MaxSourceSamples
             << " samples (4 GiB), more than a transform can address; it was not transformed\n"
             << std::flush;
        return;
    }
    err_ << "tavox: \"" << name << "\": " << DisplayText(problem) << '\n' << std::flush;
}

}  // namespace tavox
