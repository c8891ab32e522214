// Planted: the web page reaching up to the editor.
#include "app/startup.h"
