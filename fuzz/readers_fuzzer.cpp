// The probing factory and every reading operation, on a file of the version
// the first input byte picks (recording_input.h).
#include <dirent.h>

#include <cstddef>
#include <cstdint>

#include "reader_exercise.h"
#include "recording_input.h"

namespace {

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane::fuzz;
    const RecordingInput input = DecodeRecordingInput(data, size);
    const std::string path = WriteRecordingInput(input);
    const int descriptors = OpenDescriptors();
    ExerciseRecording(path, input.Selector());
    FUZZ_CHECK(OpenDescriptors() == descriptors);  // every reader closed its file
    return 0;
}
