#include "viewer/render_context.h"

#include "platform/retained/retained.h"
#include "platform/winapi/winapi.h"
#include "viewer/scene_assembly.h"
#include "viewer/scene_file.h"

namespace {

int fail(HWND window, const char* text) {
    MessageBoxA(window, text, nullptr, MB_ICONERROR);
    return 0;
}

template <class Object> void releaseHandle(Object*& handle) {
    Object* object = handle;
    handle = nullptr; // absent before the object goes, whatever Release does
    if (object)
        object->Release();
}

// A create step: the new object goes into its handle only when the call
// succeeded, so a failed create leaves the handle absent.
template <class Object, class Create> bool created(Object*& handle, Create&& create) {
    Object* object = nullptr;
    const HRESULT status = create(&object);
    if (status != 0) {
        if (object)
            object->Release();
        return false;
    }
    handle = object;
    return true;
}

} // namespace

int createDeviceAndViewport(ViewerState& state, HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right;
    const int height = client.bottom;
    if (width <= 0 || height <= 0)
        return 0;
    if (!created(state.rmDevice, [&](IDirect3DRMDevice** out) {
            return state.rmRoot->CreateDeviceFromClipper(state.rmClipper, nullptr, width, height,
                                                         out);
        }))
        return 0;
    if (!created(state.rmViewport, [&](IDirect3DRMViewport** out) {
            return state.rmRoot->CreateViewport(state.rmDevice, state.cameraFrame, 0, 0,
                                                state.rmDevice->GetWidth(),
                                                state.rmDevice->GetHeight(), out);
        }))
        return 0;
    state.rmViewport->SetBack(kViewportBack);
    return 1;
}

int createDeviceAndViewport(HWND window) {
    return createDeviceAndViewport(viewerState, window);
}

int buildRenderContext(ViewerState& state, HWND window, const char* scenePath) {
    releaseRenderContext(state);

    if (!created(state.rmRoot, [](IDirect3DRM** out) { return Direct3DRMCreate(out); }))
        return fail(window, kMsgNoRetainedMode);
    IDirect3DRM* rm = state.rmRoot;
    const auto frame = [rm](IDirect3DRMFrame* parent) {
        return [rm, parent](IDirect3DRMFrame** out) { return rm->CreateFrame(parent, out); };
    };
    if (!created(state.sceneFrame, frame(nullptr)))
        return fail(window, kMsgNoScene);
    if (!created(state.meshRootA, frame(nullptr)))
        return fail(window, kMsgNoScene);
    if (!created(state.meshRootB, frame(nullptr)))
        return fail(window, kMsgNoScene);
    state.meshRootB->SetPosition(nullptr, 20.0f, 50.0f, 0.0f); // status not consulted
    if (!created(state.cameraFrame, frame(state.sceneFrame)))
        return fail(window, kMsgNoCameraFrame);
    if (state.cameraFrame->SetPosition(state.sceneFrame, 0.0f, 0.0f, 0.0f) != 0)
        return fail(window, kMsgNoCameraPosition);
    // The light frame reports with the camera frame's text.
    if (!created(state.lightFrame, frame(state.sceneFrame)))
        return fail(window, kMsgNoCameraFrame);
    if (!created(state.rmClipper,
                 [](IDirectDrawClipper** out) { return DirectDrawCreateClipper(0, out, nullptr); }))
        return fail(window, kMsgNoClipper);
    if (state.rmClipper->SetHWnd(0, window) != 0)
        return fail(window, kMsgNoClipperWindow);
    if (createDeviceAndViewport(state, window) == 0)
        return fail(window, kMsgNoViewport);
    if (loadScene(state, scenePath) == 0)
        return fail(window, kMsgNoScene);
    return 1;
}

int buildRenderContext(HWND window) {
    return buildRenderContext(viewerState, window, kSceneFileName);
}

void releaseRenderContext(ViewerState& state) {
    releaseHandle(state.rmViewport);
    releaseHandle(state.rmDevice);
    releaseHandle(state.rmClipper);
    releaseHandle(state.cameraFrame);
    releaseHandle(state.lightFrame);
    releaseHandle(state.sceneFrame);
    releaseHandle(state.meshRootA);
    releaseHandle(state.meshRootB);
    releaseHandle(state.rmRoot);
}

void releaseRenderContext() {
    releaseRenderContext(viewerState);
}
