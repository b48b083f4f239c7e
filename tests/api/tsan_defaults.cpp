// ThreadSanitizer settings built into the test programs of this folder (only when they are
// built with -fsanitize=thread), so that ctest needs no environment of its own.
#if defined(__SANITIZE_THREAD__)

extern "C" {

// QProcess (sox, openssl, the shutdown probe) forks a process with threads and execs at once.
const char* __tsan_default_options()
{
  return "die_after_fork=0:halt_on_error=0:second_deadlock_stack=1";
}

// Qt and cpp-httplib come from the system, not built with the sanitizer: their own hand-shakes
// (QThread's end and wait, futex-based QMutex, reference counts dropped inside the library)
// are invisible to it and show up as races on their internals. Our own code stays checked.
const char* __tsan_default_suppressions()
{
  return "race:QWaitCondition::~QWaitCondition\n"
         "race:libcpp-httplib.so\n";
}
}

#endif
