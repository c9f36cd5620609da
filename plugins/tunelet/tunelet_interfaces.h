// The media player's plug-in interfaces, declared from their public GUIDs and
// method orders, and the identifiers of this plug-in. IWMPEvents and IWMPCore
// come from mingw's <wmp.h>; IWMPPluginUI has no header there.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wmp.h>

// {4C5E8F9F-AD3E-4BF9-9753-FCD30D6D38DD}
inline constexpr IID kIID_IWMPPluginUI = {
    0x4C5E8F9F, 0xAD3E, 0x4BF9, {0x97, 0x53, 0xFC, 0xD3, 0x0D, 0x6D, 0x38, 0xDD}};
// {19A6627B-DA9E-47C1-BB23-00B5E668236A}
inline constexpr IID kIID_IWMPEvents = {
    0x19A6627B, 0xDA9E, 0x47C1, {0xBB, 0x23, 0x00, 0xB5, 0xE6, 0x68, 0x23, 0x6A}};
// {B196B284-BAB4-101A-B69C-00AA00341D07}
inline constexpr IID kIID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
// {00000000-0000-0000-C000-000000000046}
inline constexpr IID kIID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr IID kIID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// The plug-in's class: {F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}.
inline constexpr CLSID kCLSID_Tunelet = {
    0xF27B8E19, 0x04C6, 0x4A3D, {0x8B, 0x5E, 0x92, 0xC1, 0xD7, 0xA0, 0x6F, 0x38}};
inline constexpr wchar_t kTuneletClassIdText[] = L"{F27B8E19-04C6-4A3D-8B5E-92C1D7A06F38}";

// How the player talks to a UI plug-in; the methods in the interface's order.
// <winuser.h> renames TranslateAccelerator; the slot is what counts.
struct IWMPPluginUI : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetCore(IWMPCore* core) = 0;
    virtual HRESULT STDMETHODCALLTYPE Create(HWND parent, HWND* window) = 0;
    virtual HRESULT STDMETHODCALLTYPE Destroy() = 0;
    virtual HRESULT STDMETHODCALLTYPE DisplayPropertyPage(HWND parent) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProperty(const WCHAR* name, VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProperty(const WCHAR* name, const VARIANT* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG* message) = 0;
};
