#include "data/formats/InputFormats.h"

#include "data/SampleSource.h"
#include "data/formats/SigmfSource.h"
#include "data/formats/SoundFileSource.h"

namespace tavox {

void RegisterInputFormats() {
    SampleSource::AddKind(
        SourceKind{"sigmf", &SigmfRecordings::Claims, &SigmfRecordings::Open, &SigmfRecordings::Examples});
    SampleSource::AddKind(SourceKind{"sound file", &SoundFiles::Claims, &SoundFiles::Open, &SoundFiles::Examples});
}

}  // namespace tavox
