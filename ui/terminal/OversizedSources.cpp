#include "ui/terminal/OversizedSources.h"

#include <ostream>

#include "app/Application.h"
#include "app/DisplayText.h"
#include "data/Data.h"
#include "engine/File.h"

namespace tavox {

void OversizedSources::Attach(const std::shared_ptr<Application>& app) {
    app->Subscribe(shared_from_this());
}

void OversizedSources::FileComplete(std::shared_ptr<File>& File, std::int32_t& /*Result*/) {
    if (!File || !File->GetData().SourceTooLong()) return;
    const Variant source = File->Source();
    const std::string* path = source.AsString();
    err_ << "tavox: \"" << DisplayText(path ? *path : File->Name()) << "\" holds more than " << MaxSourceSamples
         << " samples (4 GiB), more than a transform can address; it was not transformed\n"
         << std::flush;
}

}  // namespace tavox
