// Libraries the sound tests run through that are not built with
// ThreadSanitizer, in addition to tests/tsan.supp: GIO (the memory stream the
// pipelines read), GStreamer's plugins (their locks and streaming threads are
// handed work through GLib primitives ThreadSanitizer does not see), and
// FluidSynth with its OpenMP runtime and instrument-patch library. Only these
// libraries are quieted; a race in our own code is still reported.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libgio-2.0.so\n"
         "race:libgio-2.0.so\n"
         "race:/gstreamer-1.0/libgst\n"
         "mutex:/gstreamer-1.0/libgst\n"
         "race:libgstaudio-1.0.so\n"
         "race:libfluidsynth.so\n"
         "race:libgomp.so\n"
         "race:libinstpatch-1.0.so\n"
         "mutex:libinstpatch-1.0.so\n";
}
