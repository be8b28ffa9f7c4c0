// Sanitizer builds only. The GL driver and the sound back end are unloaded
// at exit, and the leak checker then sees their static data gone: what it
// pointed to looks leaked, from a module it can no longer name. Keeping
// every library loaded until the process ends lets the leak checker tell
// their state from a leak of ours.

extern "C" int dlclose(void *) { return 0; }
