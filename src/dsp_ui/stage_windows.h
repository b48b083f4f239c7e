// Hands the chain editor the settings windows of the stages: equalizer, compressor, gain and the
// VST parameter window. The program calls it once at start-up; tests that go through the chain
// editor call it too.
#pragma once

void RegisterStageWindows();
