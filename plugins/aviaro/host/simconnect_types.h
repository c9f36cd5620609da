// What the program relies on of SimConnect's public interface: the entry-point
// signatures and the received-message layouts it reads.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace simconnect {

using DWord = std::uint32_t;

// Received-message ids (SIMCONNECT_RECV_ID).
inline constexpr DWord kRecvIdQuit = 3;
inline constexpr DWord kRecvIdEvent = 4;
inline constexpr DWord kRecvIdEventFilename = 6;  // an EVENT with a file name after it
inline constexpr DWord kRecvIdSimObjectData = 8;

// SIMCONNECT_RECV
struct Recv {
    DWord size;
    DWord version;
    DWord id;
};

// SIMCONNECT_RECV_EVENT
struct RecvEvent {
    Recv header;
    DWord groupId;
    DWord eventId;
    DWord data;
};

// SIMCONNECT_RECV_SIMOBJECT_DATA: the data block follows this 40-byte header.
struct RecvSimObjectData {
    Recv header;
    DWord requestId;
    DWord objectId;
    DWord defineId;
    DWord flags;
    DWord entryNumber;
    DWord outOf;
    DWord defineCount;
};
inline constexpr DWord kSimObjectDataHeaderSize = 40;
static_assert(sizeof(RecvSimObjectData) == kSimObjectDataHeaderSize, "data header");
static_assert(sizeof(RecvEvent) == 24, "event message");

inline constexpr DWord kObjectIdUser = 0;
inline constexpr DWord kUnused = 0xFFFFFFFFu;

// SIMCONNECT_DATATYPE
enum DataType : DWord {
    kDataTypeInvalid = 0,
    kDataTypeInt32 = 1,
    kDataTypeInt64 = 2,
    kDataTypeFloat32 = 3,
    kDataTypeFloat64 = 4,
    kDataTypeString256 = 9,  // 256 bytes of ANSI text, zero-padded
};

// SIMCONNECT_PERIOD
enum Period : DWord {
    kPeriodNever = 0,
    kPeriodOnce = 1,
    kPeriodVisualFrame = 2,
    kPeriodSimFrame = 3,
    kPeriodSecond = 4,
};

// SIMCONNECT_DATA_REQUEST_FLAG
inline constexpr DWord kDataRequestFlagChanged = 0x1;
inline constexpr DWord kDataRequestFlagTagged = 0x2;

// SIMCONNECT_EVENT_FLAG
inline constexpr DWord kEventFlagGroupIdIsPriority = 0x10;

using DispatchProc = void(AV_STDCALL*)(Recv* data, DWord size, void* context);

using PfnOpen = HRESULT(AV_STDCALL*)(av::Handle* connection, const char* name, av::Handle window,
                                     DWord userEvent, av::Handle event, DWord configIndex);
using PfnClose = HRESULT(AV_STDCALL*)(av::Handle connection);
using PfnCallDispatch = HRESULT(AV_STDCALL*)(av::Handle connection, DispatchProc dispatch,
                                             void* context);
using PfnMapClientEventToSimEvent = HRESULT(AV_STDCALL*)(av::Handle connection, DWord eventId,
                                                         const char* eventName);
using PfnTransmitClientEvent = HRESULT(AV_STDCALL*)(av::Handle connection, DWord objectId,
                                                    DWord eventId, DWord data, DWord groupId,
                                                    DWord flags);
using PfnAddClientEventToNotificationGroup = HRESULT(AV_STDCALL*)(av::Handle connection,
                                                                  DWord groupId, DWord eventId,
                                                                  int maskable);
using PfnSetNotificationGroupPriority = HRESULT(AV_STDCALL*)(av::Handle connection, DWord groupId,
                                                             DWord priority);
using PfnAddToDataDefinition = HRESULT(AV_STDCALL*)(av::Handle connection, DWord defineId,
                                                    const char* datumName, const char* unitsName,
                                                    DWord datumType, float epsilon,
                                                    DWord datumId);
using PfnRequestDataOnSimObject = HRESULT(AV_STDCALL*)(av::Handle connection, DWord requestId,
                                                       DWord defineId, DWord objectId,
                                                       DWord period, DWord flags, DWord origin,
                                                       DWord interval, DWord limit);
using PfnRequestDataOnSimObjectType = HRESULT(AV_STDCALL*)(av::Handle connection, DWord requestId,
                                                           DWord defineId, DWord radiusMeters,
                                                           DWord objectType);
using PfnSubscribeToSystemEvent = HRESULT(AV_STDCALL*)(av::Handle connection, DWord eventId,
                                                       const char* systemEventName);
using PfnUnsubscribeFromSystemEvent = HRESULT(AV_STDCALL*)(av::Handle connection, DWord eventId);
using PfnRequestSystemState = HRESULT(AV_STDCALL*)(av::Handle connection, DWord requestId,
                                                   const char* state);
using PfnGetLastSentPacketID = HRESULT(AV_STDCALL*)(av::Handle connection, DWord* packetId);

// The 14 entry points, in the order they are looked up. A missing one is 0.
struct EntryTable {
    PfnOpen open = nullptr;
    PfnClose close = nullptr;
    PfnCallDispatch callDispatch = nullptr;
    PfnMapClientEventToSimEvent mapClientEventToSimEvent = nullptr;
    PfnTransmitClientEvent transmitClientEvent = nullptr;
    PfnAddClientEventToNotificationGroup addClientEventToNotificationGroup = nullptr;
    PfnSetNotificationGroupPriority setNotificationGroupPriority = nullptr;
    PfnAddToDataDefinition addToDataDefinition = nullptr;
    PfnRequestDataOnSimObject requestDataOnSimObject = nullptr;
    PfnRequestDataOnSimObjectType requestDataOnSimObjectType = nullptr;
    PfnSubscribeToSystemEvent subscribeToSystemEvent = nullptr;
    PfnUnsubscribeFromSystemEvent unsubscribeFromSystemEvent = nullptr;
    PfnRequestSystemState requestSystemState = nullptr;
    PfnGetLastSentPacketID getLastSentPacketID = nullptr;
};

// Exact export names, in table order.
inline constexpr const char* kEntryNames[14] = {
    "SimConnect_Open",
    "SimConnect_Close",
    "SimConnect_CallDispatch",
    "SimConnect_MapClientEventToSimEvent",
    "SimConnect_TransmitClientEvent",
    "SimConnect_AddClientEventToNotificationGroup",
    "SimConnect_SetNotificationGroupPriority",
    "SimConnect_AddToDataDefinition",
    "SimConnect_RequestDataOnSimObject",
    "SimConnect_RequestDataOnSimObjectType",
    "SimConnect_SubscribeToSystemEvent",
    "SimConnect_UnsubscribeFromSystemEvent",
    "SimConnect_RequestSystemState",
    "SimConnect_GetLastSentPacketID",
};

}  // namespace simconnect
