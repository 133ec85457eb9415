// The Vulkan door: an implicit layer (loader interface version 2) that times
// vkQueuePresentKHR per swap chain and passes everything else down the
// chain. The manifest names this library's negotiate function; nothing else
// is exported, so the library can be preloaded into a program that links
// the Vulkan loader without standing in for the loader's own functions.
#include <vulkan/vk_layer.h>
#include <vulkan/vulkan.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>

#include "session.h"

namespace {

struct InstanceData {
  VkInstance instance = VK_NULL_HANDLE;
  PFN_vkGetInstanceProcAddr getProcAddr = nullptr;
  PFN_vkDestroyInstance destroy = nullptr;
};

struct DeviceData {
  PFN_vkGetDeviceProcAddr getProcAddr = nullptr;
  PFN_vkDestroyDevice destroy = nullptr;
  PFN_vkQueuePresentKHR present = nullptr;
  PFN_vkCreateSwapchainKHR createSwapchain = nullptr;
  PFN_vkDestroySwapchainKHR destroySwapchain = nullptr;
};

// Dispatch tables by the loader's dispatch key (the first word of every
// dispatchable handle; a queue shares its device's, a physical device its
// instance's). Found without a lock: a table is filled before its key is
// published, and creating and destroying are serialized among themselves.
template <typename Data>
class Tables {
public:
  Data* Find(const void* handle) {
    const void* key = Key(handle);
    for (std::size_t i = 0; i < kSize; ++i) {
      if (m_Keys[i].load(std::memory_order_acquire) == key) return &m_Data[i];
    }
    return nullptr;
  }
  void Add(const void* handle, const Data& data) {
    const std::lock_guard<std::mutex> lock(m_Changing);
    for (std::size_t i = 0; i < kSize; ++i) {
      if (m_Keys[i].load(std::memory_order_relaxed) == nullptr) {
        m_Data[i] = data;
        m_Keys[i].store(Key(handle), std::memory_order_release);
        return;
      }
    }
  }
  void Remove(const void* handle) {
    const std::lock_guard<std::mutex> lock(m_Changing);
    for (std::atomic<const void*>& key : m_Keys) {
      if (key.load(std::memory_order_relaxed) == Key(handle)) {
        key.store(nullptr, std::memory_order_release);
      }
    }
  }

private:
  static const void* Key(const void* handle) { return *static_cast<const void* const*>(handle); }
  static constexpr std::size_t kSize = 64;
  std::atomic<const void*> m_Keys[kSize] = {};
  Data m_Data[kSize];
  std::mutex m_Changing;
};

Tables<InstanceData> g_instances;
Tables<DeviceData> g_devices;

template <typename Info, typename Type>
Info* LinkInfo(const void* next, Type type) {
  auto* info = static_cast<Info*>(const_cast<void*>(next));
  while (info != nullptr && !(info->sType == type && info->function == VK_LAYER_LINK_INFO)) {
    info = static_cast<Info*>(const_cast<void*>(info->pNext));
  }
  return info;
}

VKAPI_ATTR VkResult VKAPI_CALL CreateInstance(const VkInstanceCreateInfo* info,
                                              const VkAllocationCallbacks* allocator,
                                              VkInstance* instance) {
  auto* link = LinkInfo<VkLayerInstanceCreateInfo>(info->pNext,
                                                   VK_STRUCTURE_TYPE_LOADER_INSTANCE_CREATE_INFO);
  if (link == nullptr || link->u.pLayerInfo == nullptr) return VK_ERROR_INITIALIZATION_FAILED;
  const PFN_vkGetInstanceProcAddr next = link->u.pLayerInfo->pfnNextGetInstanceProcAddr;
  link->u.pLayerInfo = link->u.pLayerInfo->pNext;
  const auto create = reinterpret_cast<PFN_vkCreateInstance>(next(nullptr, "vkCreateInstance"));
  if (create == nullptr) return VK_ERROR_INITIALIZATION_FAILED;
  const VkResult result = create(info, allocator, instance);
  if (result != VK_SUCCESS) return result;
  g_instances.Add(*instance,
                  {*instance, next,
                   reinterpret_cast<PFN_vkDestroyInstance>(next(*instance, "vkDestroyInstance"))});
  return result;
}

VKAPI_ATTR void VKAPI_CALL DestroyInstance(VkInstance instance,
                                           const VkAllocationCallbacks* allocator) {
  const InstanceData* data = g_instances.Find(instance);
  if (data == nullptr) return;
  const PFN_vkDestroyInstance destroy = data->destroy;
  g_instances.Remove(instance);
  destroy(instance, allocator);
}

VKAPI_ATTR VkResult VKAPI_CALL CreateDevice(VkPhysicalDevice physical,
                                            const VkDeviceCreateInfo* info,
                                            const VkAllocationCallbacks* allocator,
                                            VkDevice* device) {
  auto* link =
      LinkInfo<VkLayerDeviceCreateInfo>(info->pNext, VK_STRUCTURE_TYPE_LOADER_DEVICE_CREATE_INFO);
  const InstanceData* instance = g_instances.Find(physical);
  if (link == nullptr || link->u.pLayerInfo == nullptr || instance == nullptr) {
    return VK_ERROR_INITIALIZATION_FAILED;
  }
  const PFN_vkGetInstanceProcAddr nextInstance = link->u.pLayerInfo->pfnNextGetInstanceProcAddr;
  const PFN_vkGetDeviceProcAddr next = link->u.pLayerInfo->pfnNextGetDeviceProcAddr;
  link->u.pLayerInfo = link->u.pLayerInfo->pNext;
  const auto create =
      reinterpret_cast<PFN_vkCreateDevice>(nextInstance(instance->instance, "vkCreateDevice"));
  if (create == nullptr) return VK_ERROR_INITIALIZATION_FAILED;
  const VkResult result = create(physical, info, allocator, device);
  if (result != VK_SUCCESS) return result;
  g_devices.Add(
      *device,
      {next, reinterpret_cast<PFN_vkDestroyDevice>(next(*device, "vkDestroyDevice")),
       reinterpret_cast<PFN_vkQueuePresentKHR>(next(*device, "vkQueuePresentKHR")),
       reinterpret_cast<PFN_vkCreateSwapchainKHR>(next(*device, "vkCreateSwapchainKHR")),
       reinterpret_cast<PFN_vkDestroySwapchainKHR>(next(*device, "vkDestroySwapchainKHR"))});
  return result;
}

VKAPI_ATTR void VKAPI_CALL DestroyDevice(VkDevice device, const VkAllocationCallbacks* allocator) {
  const DeviceData* data = g_devices.Find(device);
  if (data == nullptr) return;
  const PFN_vkDestroyDevice destroy = data->destroy;
  g_devices.Remove(device);
  destroy(device, allocator);
}

// A swap chain's key: its handle, with a tag that keeps it apart from GL
// drawables.
std::uint64_t Key(VkSwapchainKHR swapchain) {
  return reinterpret_cast<std::uint64_t>(swapchain) ^ (std::uint64_t{1} << 63);
}

// A swap chain recreated from another (after a resize) continues its
// capture; one destroyed frees its handle for a new capture.
VKAPI_ATTR VkResult VKAPI_CALL CreateSwapchain(VkDevice device,
                                               const VkSwapchainCreateInfoKHR* info,
                                               const VkAllocationCallbacks* allocator,
                                               VkSwapchainKHR* swapchain) {
  const DeviceData* data = g_devices.Find(device);
  if (data == nullptr || data->createSwapchain == nullptr) return VK_ERROR_INITIALIZATION_FAILED;
  const VkResult result = data->createSwapchain(device, info, allocator, swapchain);
  zel_capture::Session* session = zel_capture::ProcessSession();
  if (result == VK_SUCCESS && session != nullptr && info->oldSwapchain != VK_NULL_HANDLE) {
    session->Continue(Key(*swapchain), Key(info->oldSwapchain));
  }
  return result;
}

VKAPI_ATTR void VKAPI_CALL DestroySwapchain(VkDevice device, VkSwapchainKHR swapchain,
                                            const VkAllocationCallbacks* allocator) {
  const DeviceData* data = g_devices.Find(device);
  if (data == nullptr || data->destroySwapchain == nullptr) return;
  if (zel_capture::Session* session = zel_capture::ProcessSession()) {
    if (swapchain != VK_NULL_HANDLE) session->Retire(Key(swapchain));
  }
  data->destroySwapchain(device, swapchain, allocator);
}

// The present path: two counter readings around the call, and a frame for
// each swap chain presented.
VKAPI_ATTR VkResult VKAPI_CALL QueuePresent(VkQueue queue, const VkPresentInfoKHR* info) {
  const DeviceData* device = g_devices.Find(queue);
  if (device == nullptr || device->present == nullptr) return VK_ERROR_DEVICE_LOST;
  zel_capture::Session* session = zel_capture::ProcessSession();
  if (session == nullptr) return device->present(queue, info);
  const zel_capture::PresentScope scope;
  const VkResult result = device->present(queue, info);
  if (!scope.Outer() || (result != VK_SUCCESS && result != VK_SUBOPTIMAL_KHR)) return result;
  const std::int64_t returned = zel_capture::Now();
  for (std::uint32_t i = 0; i < info->swapchainCount; ++i) {
    if (info->pResults != nullptr && info->pResults[i] < VK_SUCCESS) continue;
    session->Record(Key(info->pSwapchains[i]), scope.Call(), returned);
  }
  return result;
}

VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL GetDeviceProcAddr(VkDevice device, const char* name);

// This layer's own functions; null for the ones it passes down.
PFN_vkVoidFunction Own(const char* name) {
  struct Entry {
    const char* name;
    PFN_vkVoidFunction function;
  };
  static const Entry kOwn[] = {
      {"vkCreateInstance", reinterpret_cast<PFN_vkVoidFunction>(&CreateInstance)},
      {"vkDestroyInstance", reinterpret_cast<PFN_vkVoidFunction>(&DestroyInstance)},
      {"vkCreateDevice", reinterpret_cast<PFN_vkVoidFunction>(&CreateDevice)},
      {"vkDestroyDevice", reinterpret_cast<PFN_vkVoidFunction>(&DestroyDevice)},
      {"vkGetDeviceProcAddr", reinterpret_cast<PFN_vkVoidFunction>(&GetDeviceProcAddr)},
      {"vkQueuePresentKHR", reinterpret_cast<PFN_vkVoidFunction>(&QueuePresent)},
      {"vkCreateSwapchainKHR", reinterpret_cast<PFN_vkVoidFunction>(&CreateSwapchain)},
      {"vkDestroySwapchainKHR", reinterpret_cast<PFN_vkVoidFunction>(&DestroySwapchain)},
  };
  for (const Entry& entry : kOwn) {
    if (std::strcmp(name, entry.name) == 0) return entry.function;
  }
  return nullptr;
}

VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL GetInstanceProcAddr(VkInstance instance, const char* name);

VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL GetDeviceProcAddr(VkDevice device, const char* name) {
  const DeviceData* data = g_devices.Find(device);
  const PFN_vkVoidFunction next = data == nullptr ? nullptr : data->getProcAddr(device, name);
  // The layer's own where the device has the function at all.
  const PFN_vkVoidFunction own = Own(name);
  return own != nullptr && (next != nullptr || std::strcmp(name, "vkGetDeviceProcAddr") == 0)
             ? own
             : next;
}

VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL GetInstanceProcAddr(VkInstance instance,
                                                             const char* name) {
  if (std::strcmp(name, "vkGetInstanceProcAddr") == 0) {
    return reinterpret_cast<PFN_vkVoidFunction>(&GetInstanceProcAddr);
  }
  if (PFN_vkVoidFunction own = Own(name)) return own;
  if (instance == VK_NULL_HANDLE) return nullptr;
  const InstanceData* data = g_instances.Find(instance);
  return data == nullptr ? nullptr : data->getProcAddr(instance, name);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) VKAPI_ATTR VkResult VKAPI_CALL
ZelCapture_NegotiateLoaderLayerInterfaceVersion(VkNegotiateLayerInterface* interface) {
  if (interface == nullptr || interface->sType != LAYER_NEGOTIATE_INTERFACE_STRUCT ||
      interface->loaderLayerInterfaceVersion < 2) {
    return VK_ERROR_INITIALIZATION_FAILED;
  }
  interface->loaderLayerInterfaceVersion = 2;
  interface->pfnGetInstanceProcAddr = &GetInstanceProcAddr;
  interface->pfnGetDeviceProcAddr = &GetDeviceProcAddr;
  interface->pfnGetPhysicalDeviceProcAddr = nullptr;
  return VK_SUCCESS;
}
