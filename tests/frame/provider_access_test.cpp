#include "frame/provider_access.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "frame/thread_context.h"
#include "orvo/error.h"
#include "support/fake_components.h"

namespace orvo {
namespace {

using ::testing::HasSubstr;
using namespace orvo::testing;

xml::Node LaunchNode(const std::string& workspace) {
  return xml::Document::Parse("<LaunchProperties Workspace='" + workspace + "'/>")
      .DocumentElement();
}

FakeStorageProvider& Storage() { return dynamic_cast<FakeStorageProvider&>(*GetStorageProvider()); }

class ProviderAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    m_storage = RegisterCounting<FakeStorageProvider>(kStorageProviderId);
    m_node_storage = RegisterCounting<FakeNodeStorageProvider>(kNodeStorageProviderId);
    m_formats = RegisterCounting<FakeFormatProvider>(kFormatProviderId);
    m_columns = RegisterCounting<FakeDynamicColumnProvider>(kDynamicColumnProviderId);
    m_database_maps = RegisterCounting<FakeDatabaseMapProvider>(kDatabaseMapProviderId);
  }

  std::shared_ptr<std::atomic<int>> m_storage, m_node_storage, m_formats, m_columns,
      m_database_maps;
};

TEST_F(ProviderAccess, StorageProviderIsCreatedOncePerThread) {
  std::shared_ptr<IStorageProvider> first_thread;
  OnNewThread([&] {
    first_thread = GetStorageProvider();
    EXPECT_EQ(GetStorageProvider(), first_thread);
    EXPECT_EQ(GetStoreContext(), first_thread->StoreContext());
  });
  EXPECT_EQ(*m_storage, 1);
  OnNewThread([&] { EXPECT_NE(GetStorageProvider(), first_thread); });
  EXPECT_EQ(*m_storage, 2);
}

TEST_F(ProviderAccess, EveryStorageProviderRequestHandsAFreshCopyOfTheLaunchProperties) {
  InFreshContext([] {
    // Before any Init there is nothing to copy.
    EXPECT_TRUE(Storage().launch_properties.IsNull());

    SetLaunchProperties(LaunchNode("one"));
    xml::Node first = Storage().launch_properties;
    ASSERT_FALSE(first.IsNull());
    EXPECT_EQ(first.Xml(), GetLaunchProperties().Xml());
    EXPECT_FALSE(first == GetLaunchProperties());

    // The provider may change its copy; the stored node and the next copy do not see it.
    first.SetAttribute("Workspace", "changed");
    xml::Node second = Storage().launch_properties;
    EXPECT_FALSE(second == first);
    EXPECT_EQ(second.AttributeOr("Workspace", ""), "one");
    EXPECT_EQ(GetLaunchProperties().AttributeOr("Workspace", ""), "one");

    // A replaced launch-properties node reaches the provider on the next request.
    SetLaunchProperties(LaunchNode("two"));
    EXPECT_EQ(Storage().launch_properties.AttributeOr("Workspace", ""), "two");
    EXPECT_EQ(Storage().launch_property_sets, 5);
  });
}

TEST_F(ProviderAccess, NodeStorageProviderFollowsTheStorageModeAndGetsLaunchPropertiesOnce) {
  InFreshContext([&] {
    SetLaunchProperties(LaunchNode("ws"));
    Storage().context->storage_mode = true;
    EXPECT_EQ(GetNodeStorageProvider(), nullptr);
    ResumeNext resume;
    resume.Step([] { GetCommandFactory(); });
    ASSERT_TRUE(resume.IsErrorPending());
    EXPECT_EQ(resume.Pending()->Source(), "GetCommandFactory");
    EXPECT_EQ(*m_node_storage, 0);

    Storage().context->storage_mode = false;
    auto node_storage =
        std::dynamic_pointer_cast<FakeNodeStorageProvider>(GetNodeStorageProvider());
    ASSERT_NE(node_storage, nullptr);
    EXPECT_EQ(GetNodeStorageProvider(), node_storage);
    EXPECT_EQ(node_storage->launch_property_sets, 1);
    EXPECT_EQ(node_storage->launch_properties.AttributeOr("Workspace", ""), "ws");
    EXPECT_FALSE(node_storage->launch_properties == GetLaunchProperties());

    FakeDriver driver;
    node_storage->driver = &driver;
    std::shared_ptr<ICommandFactory> factory = GetCommandFactory();
    EXPECT_EQ(GetCommandFactory(), factory);
    EXPECT_EQ(node_storage->kinds, std::vector<std::int32_t>{1});

    // Storage mode true again: Nothing, but the factory already made stays.
    Storage().context->storage_mode = true;
    EXPECT_EQ(GetNodeStorageProvider(), nullptr);
    EXPECT_EQ(GetCommandFactory(), factory);
  });
  EXPECT_EQ(*m_node_storage, 1);
}

TEST_F(ProviderAccess, BusinessProvidersLiveInTheRegistryAndAreInitialisedOnce) {
  InFreshContext([&] {
    SetLaunchProperties(LaunchNode("ws"));
    std::shared_ptr<IFormatProvider> formats = GetFormatProvider();
    EXPECT_EQ(Storage().registry->format, formats);
    EXPECT_EQ(GetFormatProvider(), formats);
    auto& format_fake = dynamic_cast<FakeFormatProvider&>(*formats);
    ASSERT_EQ(format_fake.init_nodes.size(), 1u);
    EXPECT_EQ(format_fake.init_nodes[0].AttributeOr("Workspace", ""), "ws");

    std::shared_ptr<IDynamicColumnProvider> columns = GetDynamicColumnProvider();
    EXPECT_EQ(Storage().registry->columns, columns);
    EXPECT_EQ(GetDynamicColumnProvider(), columns);
    EXPECT_EQ(dynamic_cast<FakeDynamicColumnProvider&>(*columns).init_nodes.size(), 1u);

    std::shared_ptr<IDatabaseMapProvider> map = GetDatabaseMapProvider();
    EXPECT_EQ(Storage().context->database_map, map);
    EXPECT_EQ(GetDatabaseMapProvider(), map);
    EXPECT_EQ(dynamic_cast<FakeDatabaseMapProvider&>(*map).init_nodes.size(), 1u);

    // The library does not cache them itself: a registry emptied by someone
    // else gets a new provider.
    Storage().registry->format.reset();
    EXPECT_NE(GetFormatProvider(), formats);

    // A provider the host put into the registry is used as it is, not initialised.
    auto host_provider = std::make_shared<FakeFormatProvider>();
    Storage().registry->format = host_provider;
    EXPECT_EQ(GetFormatProvider(), host_provider);
    EXPECT_TRUE(host_provider->init_nodes.empty());
  });
  EXPECT_EQ(*m_formats, 2);
  EXPECT_EQ(*m_columns, 1);
  EXPECT_EQ(*m_database_maps, 1);
}

TEST_F(ProviderAccess, CreationFailuresPropagateAndAreNotCached) {
  ComponentRegistry::Register(kStorageProviderId, nullptr);
  InFreshContext([&] {
    ResumeNext resume;
    resume.Step([] { GetStorageProvider(); });
    ASSERT_TRUE(resume.IsErrorPending());
    EXPECT_EQ(resume.Pending()->Number(), 1);
    EXPECT_THAT(resume.Pending()->Description(), HasSubstr(kStorageProviderId));

    // A component of the wrong kind under the identifier.
    ComponentRegistry::Register(kStorageProviderId,
                                [] { return std::make_shared<FakeFormatProvider>(); });
    resume.Clear();
    resume.Step([] { GetStorageProvider(); });
    ASSERT_TRUE(resume.IsErrorPending());
    EXPECT_THAT(resume.Pending()->Description(), HasSubstr(kStorageProviderId));

    // Once a host registers one, the next request on the same thread succeeds.
    m_storage = RegisterCounting<FakeStorageProvider>(kStorageProviderId);
    EXPECT_NE(GetStorageProvider(), nullptr);
  });
  EXPECT_EQ(*m_storage, 1);
}

}  // namespace
}  // namespace orvo
