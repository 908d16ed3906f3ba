// Hand-over of received records from the receiver modules' threads to the
// main loop.
#pragma once

#include "receive/record.h"

extern "C" void MyRecvProc(tagCommunicationData_* pData);
extern "C" void MyRecvProc_tcp(tagCommunicationData_* pData);
