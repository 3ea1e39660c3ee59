// The reference components as a host gets them: registered without any host
// action (this program links orvoreportprv), reached through the library's
// provider access, and replaceable through the registry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "frame/provider_access.h"
#include "frame/thread_context.h"
#include "orvo/error.h"
#include "providers/dynamic_col_provider.h"
#include "providers/format_provider.h"
#include "providers/node_storage_provider.h"
#include "providers/storage_provider.h"
#include "support/on_new_thread.h"
#include "support/temp_workspace.h"

namespace orvo::providers {
namespace {

using orvo::testing::OnNewThread;
using orvo::testing::TempWorkspace;
using ::testing::HasSubstr;

// A data driver stand-in under the ledger's identifier.
class RecordingFactory : public IDriverCommandFactory {
 public:
  void Init(const xml::Node& launch_properties) override { m_launch = launch_properties; }
  std::shared_ptr<ICommand> CreateCommand(std::int32_t, const std::string& name) override {
    RaiseError(name, "not a real driver");
  }
  const xml::Node& Launch() const { return m_launch; }

 private:
  xml::Node m_launch;
};

TEST(ReferenceComponents, AreRegisteredAndServeTheWorkspaceThroughTheLibrary) {
  TempWorkspace workspace;
  workspace.WriteStandard();
  auto snapshot = workspace.Snapshot();
  ComponentRegistry::Register(kCommandFactoryId,
                              [] { return std::make_shared<RecordingFactory>(); });
  InFreshContext([&] {
    SetLaunchProperties(workspace.LaunchProperties());
    EXPECT_NE(std::dynamic_pointer_cast<CRStorageProvider>(GetStorageProvider()), nullptr);
    EXPECT_EQ(GetStoreContext()->CurrentPeriod(), 7);

    std::shared_ptr<IFormatProvider> formats = GetFormatProvider();
    ASSERT_NE(std::dynamic_pointer_cast<CFormatProvider>(formats), nullptr);
    EXPECT_EQ(formats->GetFormat("IS_MAIN").AttributeOr("Name", ""), "Income statement");
    std::shared_ptr<IDynamicColumnProvider> columns = GetDynamicColumnProvider();
    ASSERT_NE(std::dynamic_pointer_cast<cDynamicColProvider>(columns), nullptr);
    EXPECT_FALSE(columns->Configuration("MONTHLY").IsNull());

    auto node_storage = std::dynamic_pointer_cast<CStgProviderXMLNode>(GetNodeStorageProvider());
    ASSERT_NE(node_storage, nullptr);
    auto factory = std::dynamic_pointer_cast<RecordingFactory>(GetCommandFactory());
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(factory->Launch().AttributeOr("Workspace", ""), workspace.Folder().string());
    EXPECT_THROW(node_storage->CreateCommandFactory(2), Error);
  });
  EXPECT_EQ(workspace.Snapshot(), snapshot);
}

TEST(ReferenceComponents, ADriverWithoutInitIsHandedOutAndANonFactoryIsRefused) {
  class PlainFactory : public IComponent, public ICommandFactory {
   public:
    std::shared_ptr<ICommand> CreateCommand(std::int32_t, const std::string&) override {
      return nullptr;
    }
  };
  CStgProviderXMLNode provider;
  ComponentRegistry::Register(kCommandFactoryId, [] { return std::make_shared<PlainFactory>(); });
  EXPECT_NE(std::dynamic_pointer_cast<PlainFactory>(provider.CreateCommandFactory(1)), nullptr);

  ComponentRegistry::Register(kCommandFactoryId,
                              [] { return std::make_shared<CFormatProvider>(); });
  ResumeNext resume;
  resume.Step([&] { provider.CreateCommandFactory(1); });
  ASSERT_TRUE(resume.IsErrorPending());
  EXPECT_EQ(resume.Pending()->Source(), "CreateCommandFactory");
  EXPECT_THAT(resume.Pending()->Description(), HasSubstr("is not a command factory"));
}

TEST(ReferenceComponents, StorageModeTrueMeansNoDataDriver) {
  TempWorkspace workspace;
  workspace.Write("workspace.xml", "<Workspace StorageMode='-1'/>");
  InFreshContext([&] {
    SetLaunchProperties(workspace.LaunchProperties());
    EXPECT_EQ(GetNodeStorageProvider(), nullptr);
    EXPECT_THROW(GetCommandFactory(), Error);
  });
}

TEST(ReferenceComponents, WithoutARegisteredDriverTheFactoryRequestFailsNamingIt) {
  TempWorkspace workspace;
  workspace.Write("workspace.xml", "<Workspace/>");
  ComponentRegistry::Register(kCommandFactoryId, nullptr);
  InFreshContext([&] {
    SetLaunchProperties(workspace.LaunchProperties());
    ResumeNext resume;
    resume.Step([] { GetCommandFactory(); });
    ASSERT_TRUE(resume.IsErrorPending());
    EXPECT_EQ(resume.Pending()->Number(), 1);
    EXPECT_THAT(resume.Pending()->Description(), HasSubstr("OrvoLedger.CCommandFactory"));
  });
}

TEST(ReferenceComponents, AHostReplacesOneComponentAndKeepsTheOthers) {
  class HostFormats : public CFormatProvider {
   public:
    std::int16_t ColumnNumber(const std::string&) override { return 99; }
  };
  TempWorkspace workspace;
  workspace.WriteStandard();
  ComponentRegistry::Register(kFormatProviderId, [] { return std::make_shared<HostFormats>(); });
  InFreshContext([&] {
    SetLaunchProperties(workspace.LaunchProperties());
    EXPECT_EQ(GetFormatProvider()->ColumnNumber("A"), 99);
    EXPECT_NE(std::dynamic_pointer_cast<CRStorageProvider>(GetStorageProvider()), nullptr);
  });
  ComponentRegistry::Register(kFormatProviderId,
                              [] { return std::make_shared<CFormatProvider>(); });
  InFreshContext([&] {
    SetLaunchProperties(workspace.LaunchProperties());
    EXPECT_EQ(GetFormatProvider()->ColumnNumber("A"), 1);
  });
}

TEST(ReferenceComponents, ComponentsOnOneThreadShareOneParsedWorkspace) {
  TempWorkspace workspace;
  workspace.WriteStandard();
  InFreshContext([&] {
    SetLaunchProperties(workspace.LaunchProperties());
    auto context = std::dynamic_pointer_cast<WorkspaceStoreContext>(GetStoreContext());
    ASSERT_NE(context, nullptr);
    std::shared_ptr<Workspace> opened = Workspace::Open(workspace.LaunchProperties());
    EXPECT_EQ(&context->WorkspaceFiles(), opened.get());
    // Another thread parses its own.
    OnNewThread([&] { EXPECT_NE(Workspace::Open(workspace.LaunchProperties()), opened); });
  });
}

}  // namespace
}  // namespace orvo::providers
