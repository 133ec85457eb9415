// The Vulkan layer as the loader drives it: negotiation, the instance and
// device chains, and vkQueuePresentKHR dispatched by queue to the right
// device's next layer, recorded once per swap chain presented. Below the
// layer stands a next layer of the test's own, counting what reaches it;
// the real loader and driver are CI's (vkcube in the capture stage).
#include <gtest/gtest.h>
#include <unistd.h>
#include <vulkan/vk_layer.h>
#include <vulkan/vulkan.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ZelAnalysis/Capture.h"
#include "session.h"

extern "C" VkResult ZelCapture_NegotiateLoaderLayerInterfaceVersion(VkNegotiateLayerInterface*);

namespace {

// A dispatchable handle: the loader's dispatch key first.
struct Handle {
  const void* key;
};
int g_instanceKey, g_deviceKeys[2];
Handle g_instance{&g_instanceKey}, g_physical{&g_instanceKey};
Handle g_devices[2] = {{&g_deviceKeys[0]}, {&g_deviceKeys[1]}};
Handle g_queues[2] = {{&g_deviceKeys[0]}, {&g_deviceKeys[1]}};
int g_nextDevice = 0;
int g_presents[2] = {0, 0};

template <int device>
VKAPI_ATTR VkResult VKAPI_CALL NextPresent(VkQueue, const VkPresentInfoKHR* info) {
  ++g_presents[device];
  // A swap chain out of date: the last of the first device's presents.
  if (device == 0 && g_presents[device] == 5 && info->pResults != nullptr) {
    info->pResults[1] = VK_ERROR_OUT_OF_DATE_KHR;
  }
  return VK_SUCCESS;
}

VKAPI_ATTR VkResult VKAPI_CALL NextCreateInstance(const VkInstanceCreateInfo*,
                                                  const VkAllocationCallbacks*, VkInstance* out) {
  *out = reinterpret_cast<VkInstance>(&g_instance);
  return VK_SUCCESS;
}
VKAPI_ATTR VkResult VKAPI_CALL NextCreateDevice(VkPhysicalDevice, const VkDeviceCreateInfo*,
                                                const VkAllocationCallbacks*, VkDevice* out) {
  *out = reinterpret_cast<VkDevice>(&g_devices[g_nextDevice++]);
  return VK_SUCCESS;
}
VKAPI_ATTR void VKAPI_CALL NextDestroyDevice(VkDevice, const VkAllocationCallbacks*) {}
VKAPI_ATTR void VKAPI_CALL NextDestroyInstance(VkInstance, const VkAllocationCallbacks*) {}

VKAPI_ATTR VkResult VKAPI_CALL NextCreateSwapchain(VkDevice, const VkSwapchainCreateInfoKHR*,
                                                   const VkAllocationCallbacks*,
                                                   VkSwapchainKHR* out) {
  *out = reinterpret_cast<VkSwapchainKHR>(0x4000);
  return VK_SUCCESS;
}
VKAPI_ATTR void VKAPI_CALL NextDestroySwapchain(VkDevice, VkSwapchainKHR,
                                                const VkAllocationCallbacks*) {}

VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL NextGetDeviceProcAddr(VkDevice device, const char* name) {
  const bool first = device == reinterpret_cast<VkDevice>(&g_devices[0]);
  if (std::strcmp(name, "vkQueuePresentKHR") == 0) {
    return reinterpret_cast<PFN_vkVoidFunction>(first ? &NextPresent<0> : &NextPresent<1>);
  }
  if (std::strcmp(name, "vkDestroyDevice") == 0) {
    return reinterpret_cast<PFN_vkVoidFunction>(&NextDestroyDevice);
  }
  if (std::strcmp(name, "vkCreateSwapchainKHR") == 0) {
    return reinterpret_cast<PFN_vkVoidFunction>(&NextCreateSwapchain);
  }
  if (std::strcmp(name, "vkDestroySwapchainKHR") == 0) {
    return reinterpret_cast<PFN_vkVoidFunction>(&NextDestroySwapchain);
  }
  return nullptr;
}
VKAPI_ATTR PFN_vkVoidFunction VKAPI_CALL NextGetInstanceProcAddr(VkInstance, const char* name) {
  if (std::strcmp(name, "vkCreateInstance") == 0) {
    return reinterpret_cast<PFN_vkVoidFunction>(&NextCreateInstance);
  }
  if (std::strcmp(name, "vkCreateDevice") == 0) {
    return reinterpret_cast<PFN_vkVoidFunction>(&NextCreateDevice);
  }
  if (std::strcmp(name, "vkDestroyInstance") == 0) {
    return reinterpret_cast<PFN_vkVoidFunction>(&NextDestroyInstance);
  }
  return nullptr;
}

TEST(CaptureLayerTest, NegotiatesInterfaceVersionTwo) {
  const struct {
    std::uint32_t offered;
    VkResult result;
  } cases[] = {{1, VK_ERROR_INITIALIZATION_FAILED}, {2, VK_SUCCESS}, {5, VK_SUCCESS}};
  for (const auto& c : cases) {
    VkNegotiateLayerInterface interface {};
    interface.sType = LAYER_NEGOTIATE_INTERFACE_STRUCT;
    interface.loaderLayerInterfaceVersion = c.offered;
    EXPECT_EQ(ZelCapture_NegotiateLoaderLayerInterfaceVersion(&interface), c.result) << c.offered;
    if (c.result == VK_SUCCESS) {
      EXPECT_EQ(interface.loaderLayerInterfaceVersion, 2u);
      EXPECT_NE(interface.pfnGetInstanceProcAddr, nullptr);
      EXPECT_NE(interface.pfnGetDeviceProcAddr, nullptr);
    }
  }
}

// Two devices; the first presents two swap chains at once five times (the
// last time one of them is out of date), the second one swap chain, which
// is then recreated (its capture goes on) and destroyed, after which its
// handle, used again, starts a new capture.
TEST(CaptureLayerTest, RecordsEverySwapChainOfEveryDeviceOnce) {
  char folder[] = "/tmp/zelcapture_layer_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  zel_capture::Config config;
  config.output = std::string(folder) + '/';
  zel_capture::Session session(config, "layer", 1);
  zel_capture::SetProcessSession(&session);

  VkNegotiateLayerInterface interface {};
  interface.sType = LAYER_NEGOTIATE_INTERFACE_STRUCT;
  interface.loaderLayerInterfaceVersion = 2;
  ASSERT_EQ(ZelCapture_NegotiateLoaderLayerInterfaceVersion(&interface), VK_SUCCESS);
  const PFN_vkGetInstanceProcAddr getInstanceProcAddr = interface.pfnGetInstanceProcAddr;

  VkLayerInstanceLink instanceLink{nullptr, &NextGetInstanceProcAddr, nullptr};
  VkLayerInstanceCreateInfo instanceChain{};
  instanceChain.sType = VK_STRUCTURE_TYPE_LOADER_INSTANCE_CREATE_INFO;
  instanceChain.function = VK_LAYER_LINK_INFO;
  instanceChain.u.pLayerInfo = &instanceLink;
  VkInstanceCreateInfo instanceInfo{};
  instanceInfo.sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO;
  instanceInfo.pNext = &instanceChain;
  VkInstance instance = VK_NULL_HANDLE;
  const auto createInstance =
      reinterpret_cast<PFN_vkCreateInstance>(getInstanceProcAddr(nullptr, "vkCreateInstance"));
  ASSERT_EQ(createInstance(&instanceInfo, nullptr, &instance), VK_SUCCESS);

  const auto createDevice =
      reinterpret_cast<PFN_vkCreateDevice>(getInstanceProcAddr(instance, "vkCreateDevice"));
  VkDevice devices[2] = {};
  for (VkDevice& device : devices) {
    VkLayerDeviceLink link{nullptr, &NextGetInstanceProcAddr, &NextGetDeviceProcAddr};
    VkLayerDeviceCreateInfo chain{};
    chain.sType = VK_STRUCTURE_TYPE_LOADER_DEVICE_CREATE_INFO;
    chain.function = VK_LAYER_LINK_INFO;
    chain.u.pLayerInfo = &link;
    VkDeviceCreateInfo info{};
    info.sType = VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO;
    info.pNext = &chain;
    ASSERT_EQ(
        createDevice(reinterpret_cast<VkPhysicalDevice>(&g_physical), &info, nullptr, &device),
        VK_SUCCESS);
  }
  const auto present = reinterpret_cast<PFN_vkQueuePresentKHR>(
      interface.pfnGetDeviceProcAddr(devices[0], "vkQueuePresentKHR"));
  ASSERT_NE(present, nullptr);

  const VkSwapchainKHR first[2] = {reinterpret_cast<VkSwapchainKHR>(0x1000),
                                   reinterpret_cast<VkSwapchainKHR>(0x2000)};
  auto* const second = reinterpret_cast<VkSwapchainKHR>(0x3000);
  for (int i = 0; i < 5; ++i) {
    VkResult results[2] = {VK_SUCCESS, VK_SUCCESS};
    VkPresentInfoKHR info{};
    info.sType = VK_STRUCTURE_TYPE_PRESENT_INFO_KHR;
    info.swapchainCount = 2;
    info.pSwapchains = first;
    info.pResults = results;
    EXPECT_EQ(present(reinterpret_cast<VkQueue>(&g_queues[0]), &info), VK_SUCCESS);
    info.swapchainCount = 1;
    info.pSwapchains = &second;
    info.pResults = nullptr;
    EXPECT_EQ(present(reinterpret_cast<VkQueue>(&g_queues[1]), &info), VK_SUCCESS);
  }
  EXPECT_EQ(g_presents[0], 5);
  EXPECT_EQ(g_presents[1], 5);

  const auto gdpa = interface.pfnGetDeviceProcAddr;
  VkSwapchainCreateInfoKHR recreate{};
  recreate.sType = VK_STRUCTURE_TYPE_SWAPCHAIN_CREATE_INFO_KHR;
  recreate.oldSwapchain = second;
  VkSwapchainKHR recreated = VK_NULL_HANDLE;
  ASSERT_EQ(reinterpret_cast<PFN_vkCreateSwapchainKHR>(gdpa(devices[1], "vkCreateSwapchainKHR"))(
                devices[1], &recreate, nullptr, &recreated),
            VK_SUCCESS);
  reinterpret_cast<PFN_vkDestroySwapchainKHR>(gdpa(devices[1], "vkDestroySwapchainKHR"))(
      devices[1], second, nullptr);
  for (VkSwapchainKHR swapchain : {recreated, recreated, second, second}) {
    VkPresentInfoKHR info{};
    info.sType = VK_STRUCTURE_TYPE_PRESENT_INFO_KHR;
    info.swapchainCount = 1;
    info.pSwapchains = &swapchain;
    EXPECT_EQ(present(reinterpret_cast<VkQueue>(&g_queues[1]), &info), VK_SUCCESS);
  }

  reinterpret_cast<PFN_vkDestroyDevice>(getInstanceProcAddr(instance, "vkDestroyDevice"))(
      devices[0], nullptr);
  reinterpret_cast<PFN_vkDestroyInstance>(getInstanceProcAddr(instance, "vkDestroyInstance"))(
      instance, nullptr);
  session.Finish(false);
  zel_capture::SetProcessSession(nullptr);
  std::vector<std::size_t> frames;
  for (const std::string& path : session.Paths()) {
    frames.push_back(zel_analysis::ReadCaptureFile(path).capture.frames.size());
    std::remove(path.c_str());
  }
  rmdir(folder);
  EXPECT_EQ(frames, (std::vector<std::size_t>{4, 3, 6, 1}));
}

}  // namespace
