// The shared-library call with which the stream decryptor announces itself.
// The library keeps nothing this program reads; the call is accepted and
// nothing else happens.
#pragma once

void HUBSDK_CreateSingleton(void* object, const char* typeName);
