#include "platform/com/ref_count.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/com/dom.h"

namespace trovex {
namespace {

int g_destroyed = 0;

// Two interfaces, so the one count must serve both.
class TwoFaced final : public ComObject<IOleContainer, IServiceProvider> {
 public:
  ~TwoFaced() override { ++g_destroyed; }
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT EnumObjects(DWORD, IEnumUnknown**) override { return E_NOTIMPL; }
  HRESULT QueryService(REFGUID, REFIID, void**) override { return E_NOTIMPL; }
};

class Static final : public ComStaticObject<IUnknown> {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
};

TEST(ComObject, OneCountForEveryInterfaceAndDeletedOnTheLastRelease) {
  g_destroyed = 0;
  auto* object = new TwoFaced;  // the creator's reference
  IServiceProvider* document = object;
  IOleContainer* container = object;
  EXPECT_EQ(document->AddRef(), 2u);
  EXPECT_EQ(container->AddRef(), 3u);
  EXPECT_EQ(document->Release(), 2u);
  EXPECT_EQ(container->Release(), 1u);
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_EQ(container->Release(), 0u);
  EXPECT_EQ(g_destroyed, 1);
}

TEST(ComObject, CountsFromManyThreadsAtOnce) {
  g_destroyed = 0;
  auto* object = new TwoFaced;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([object] {
      for (int i = 0; i < 20000; ++i) {
        object->AddRef();
        object->Release();
      }
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(g_destroyed, 0);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(g_destroyed, 1);
}

TEST(ComStaticObject, CountsHandedOutReferencesAndStopsAtZero) {
  Static object;
  EXPECT_EQ(object.References(), 0u);
  EXPECT_EQ(object.AddRef(), 1u);
  EXPECT_EQ(object.AddRef(), 2u);
  EXPECT_EQ(object.Release(), 1u);
  EXPECT_EQ(object.Release(), 0u);
  // One Release too many must not wrap around and read as references held for ever.
  EXPECT_EQ(object.Release(), 0u);
  EXPECT_EQ(object.References(), 0u);

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&object] {
      for (int i = 0; i < 20000; ++i) object.AddRef();
      for (int i = 0; i < 20000; ++i) object.Release();
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(object.References(), 0u);
}

class OneFaced final : public ComSingleObject<IServiceProvider, IID_IServiceProvider, ComStaticObject> {
 public:
  HRESULT QueryService(REFGUID, REFIID, void**) override { return E_NOTIMPL; }
};

TEST(ComSingleObject, AnswersForIUnknownAndItsInterfaceOnly) {
  struct Case {
    const IID* iid;
    HRESULT hr;
    ULONG refs;  // held after the query
  };
  const Case cases[] = {
      {&IID_IUnknown, S_OK, 1},
      {&IID_IServiceProvider, S_OK, 1},
      {&IID_IOleContainer, E_NOINTERFACE, 0},
  };
  for (const Case& c : cases) {
    OneFaced object;
    void* out = &object;  // a stale value the failure must clear
    EXPECT_EQ(object.QueryInterface(*c.iid, &out), c.hr);
    EXPECT_EQ(out, c.hr == S_OK ? static_cast<void*>(static_cast<IServiceProvider*>(&object)) : nullptr);
    EXPECT_EQ(object.References(), c.refs);
  }
  OneFaced object;
  EXPECT_EQ(object.QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

}  // namespace
}  // namespace trovex
