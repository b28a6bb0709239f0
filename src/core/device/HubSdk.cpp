#include "device/HubSdk.h"

void HUBSDK_CreateSingleton(void*, const char*) {}
