// Gives the backend base class its meta-object (moc runs on headers paired with a source).
#include "capture/capturedevice.h"
