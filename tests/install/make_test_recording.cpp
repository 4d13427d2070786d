// Writes one small recording for the install test: make_test_recording FILE
#include "recwriter.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    corvane::rec::StreamOptions o;
    o.seconds = 3;
    o.gps = true;
    return corvane::rec::WriteRecording(argv[1], corvane::rec::Spec{}, corvane::rec::MakeStream(o)) ? 0 : 1;
}
