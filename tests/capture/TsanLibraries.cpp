// GStreamer's video and app libraries and the JPEG codec they load are not
// built with ThreadSanitizer either; their own locking is invisible to it.
// Added to whatever suppressions file the run names. Our own code is never
// quieted here.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
  return "race:libgstvideo-1.0.so\n"
         "mutex:libgstvideo-1.0.so\n"
         "called_from_lib:libgstvideo-1.0.so\n"
         "race:libjpeg.so\n"
         "called_from_lib:libjpeg.so\n";
}
#endif
