// The window while a job meets unreadable sectors: the progress bar's caption says how many were
// met so far and the time spent on them, as the reader tells its host (the window) while it
// reads; the caption stays after the job and goes when the next one starts.
#include <QProgressBar>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "catalogue/catalogue.h"
#include "ui/main_form.h"
#include "ui_test_support.h"
#include "volume/tbuffer.h"
#include "volume/volume_backend.h"

namespace dravelo {
namespace {

TEST(DamageCaption, TheProgressBarSaysTheDamageMetSoFarUntilTheNextJob) {
  test::ensureApp();
  reset_catalogue();
  std::vector<std::uint8_t> image(64 * 512, 0x5A);
  image[0x0D] = 1;  // one sector a cluster, 64 sectors (the reader's geometry at 0x0D and 0x28)
  image[0x28] = 64;
  for (int i = 0x29; i < 0x30; ++i) image[static_cast<std::size_t>(i)] = 0;
  register_memory_volume("window-damage", image);
  set_memory_volume_failure("window-damage", 30 * 512, 2 * 512);
  DriveInfo drive;
  drive.drive_name = 'e';
  drive.device_path = "mem:window-damage";
  {
    T_mainForm form(std::vector<std::string>{}, false);
    // After the window's creation, which lists the volumes afresh.
    drive_list.push_back(drive);
    auto* bar = form.findChild<QProgressBar*>(QStringLiteral("AdvProgressBar"));
    ASSERT_NE(bar, nullptr);
    form.disable_all();
    EXPECT_FALSE(bar->isTextVisible());
    forget_read_damage(drive.device_path);
    {
      TBuffer reader(drive.device_path, 8);
      ASSERT_EQ(reader.error, 0);
      std::vector<std::uint8_t> out(8 * 512);
      EXPECT_FALSE(read_exact(reader, 28 * 512, 3 * 512, out.data()));
      EXPECT_TRUE(bar->isTextVisible());
      EXPECT_TRUE(bar->text().startsWith(QStringLiteral("E: (mem:window-damage): 1 sectors unreadable so far, "))) << bar->text().toStdString();
      EXPECT_FALSE(read_exact(reader, 31 * 512, 512, out.data()));
      EXPECT_TRUE(bar->text().startsWith(QStringLiteral("E: (mem:window-damage): 2 sectors unreadable so far, "))) << bar->text().toStdString();
      EXPECT_TRUE(bar->text().endsWith(QStringLiteral(" s spent on them"))) << bar->text().toStdString();
    }
    form.enable_all();
    EXPECT_TRUE(bar->isTextVisible());
    EXPECT_EQ(bar->toolTip(), bar->text());
    form.disable_all_u();
    EXPECT_FALSE(bar->isTextVisible());
    EXPECT_TRUE(bar->toolTip().isEmpty());
    form.enable_all_u();
  }
  forget_read_damage(drive.device_path);
  std::erase_if(drive_list, [](const DriveInfo& d) { return d.device_path == "mem:window-damage"; });
  unregister_memory_volume("window-damage");
  reset_catalogue();
}

}  // namespace
}  // namespace dravelo
