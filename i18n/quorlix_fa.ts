<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fa_IR" sourcelanguage="en_US">
<context>
    <name>MainWindow</name>
    <message>
        <source>Home</source>
        <translation>خانه</translation>
    </message>
    <message>
        <source>Games</source>
        <translation>بازی‌ها</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>شبکه</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>تنظیمات</translation>
    </message>
    <message>
        <source>Profile</source>
        <translation>پروفایل</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>حساب کاربری</translation>
    </message>
    <message>
        <source>Not signed in</source>
        <translation>وارد نشده‌اید</translation>
    </message>
    <message>
        <source>Favorite games</source>
        <translation>بازی‌های مورد علاقه</translation>
    </message>
    <message>
        <source>Dashboard</source>
        <translation>داشبورد</translation>
    </message>
    <message>
        <source>Server region</source>
        <translation>منطقه سرور</translation>
    </message>
    <message>
        <source>Server Region</source>
        <translation>منطقه سرور</translation>
    </message>
    <message>
        <source>Search for a server</source>
        <translation>جستجوی سرور</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>خودکار</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>دستی</translation>
    </message>
    <message>
        <source>Tap to connect</source>
        <translation>برای اتصال بزنید</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>در حال اتصال</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>قطع اتصال</translation>
    </message>
    <message>
        <source>Verifying configuration</source>
        <translation>در حال بررسی پیکربندی</translation>
    </message>
    <message>
        <source>Default gateway</source>
        <translation>درگاه پیش‌فرض</translation>
    </message>
    <message>
        <source>IP Address:</source>
        <translation>نشانی IP:</translation>
    </message>
    <message>
        <source>DNS:</source>
        <translation>DNS:</translation>
    </message>
    <message>
        <source>Subnet mask:</source>
        <translation>ماسک زیرشبکه:</translation>
    </message>
    <message>
        <source>United States</source>
        <translation>ایالات متحده</translation>
    </message>
    <message>
        <source>Checking for update ...</source>
        <translation>در حال بررسی به‌روزرسانی ...</translation>
    </message>
    <message>
        <source>Logging in ...</source>
        <translation>در حال ورود ...&#x200f;</translation>
    </message>
    <message>
        <source>Authentication ...</source>
        <translation>در حال احراز هویت ...&#x200f;</translation>
    </message>
    <message>
        <source>Loading magic routes ..</source>
        <translation>در حال بارگذاری مسیرهای جادویی ..&#x200f;</translation>
    </message>
    <message>
        <source>Checking required downloads…</source>
        <translation>در حال بررسی دانلودهای لازم…&#x200f;</translation>
    </message>
    <message>
        <source>Loading magic routes : %1 kb of %2 Mb ...</source>
        <translation>در حال بارگذاری مسیرهای جادویی : %1 کیلوبایت از %2 مگابایت ...&#x200f;</translation>
    </message>
    <message>
        <source>Loading magic routes ...</source>
        <translation>در حال بارگذاری مسیرهای جادویی ...&#x200f;</translation>
    </message>
    <message>
        <source>Loading apps...</source>
        <translation>در حال بارگذاری برنامه‌ها...&#x200f;</translation>
    </message>
    <message>
        <source>Loading configuration ...</source>
        <translation>در حال بارگذاری پیکربندی ...&#x200f;</translation>
    </message>
    <message>
        <source>Loading...</source>
        <translation>در حال بارگذاری...</translation>
    </message>
    <message>
        <source>Failed to load games</source>
        <translation>بارگذاری بازی‌ها ناموفق بود</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>اتصال‌ها</translation>
    </message>
    <message>
        <source>Ready to optimize ?</source>
        <translation>آماده بهینه‌سازی هستید؟</translation>
    </message>
    <message>
        <source>Add a game or app and ensure the best connection route.</source>
        <translation>یک بازی یا برنامه اضافه کنید و بهترین مسیر اتصال را تضمین کنید.</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>افزودن</translation>
    </message>
    <message>
        <source>No active connections</source>
        <translation>هیچ اتصال فعالی وجود ندارد</translation>
    </message>
    <message>
        <source>Optimize for better performance. Data will appear.</source>
        <translation>برای عملکرد بهتر بهینه کنید. داده‌ها نمایش داده خواهند شد.</translation>
    </message>
    <message>
        <source>Application behavior</source>
        <translation>رفتار برنامه</translation>
    </message>
    <message>
        <source>Notifications</source>
        <translation>اعلان‌ها</translation>
    </message>
    <message>
        <source>Optimization</source>
        <translation>بهینه‌سازی</translation>
    </message>
    <message>
        <source>Advanced option</source>
        <translation>گزینه‌های پیشرفته</translation>
    </message>
    <message>
        <source>Launch on Window startup</source>
        <translation>اجرا هنگام روشن شدن ویندوز</translation>
    </message>
    <message>
        <source>Quorlyx starts automatically when you boot up
your PC</source>
        <translation>Quorlyx هنگام روشن شدن
رایانه شما خودکار اجرا می‌شود</translation>
    </message>
    <message>
        <source>Minimize to tray on close</source>
        <translation>کوچک‌سازی به سینی هنگام بستن</translation>
    </message>
    <message>
        <source>Closing the window keeps Quorlyx running
in the background.</source>
        <translation>با بستن پنجره، Quorlyx
در پس‌زمینه اجرا می‌ماند.</translation>
    </message>
    <message>
        <source>Receive an alert when a connection start</source>
        <translation>دریافت هشدار هنگام شروع اتصال</translation>
    </message>
    <message>
        <source>Get notified when an Quorlyx connection starts.</source>
        <translation>هنگام شروع اتصال Quorlyx باخبر شوید.</translation>
    </message>
    <message>
        <source>Receive server unavailable alerts</source>
        <translation>دریافت هشدار در دسترس نبودن سرور</translation>
    </message>
    <message>
        <source>Get notified if your server goes down.</source>
        <translation>اگر سرور شما از کار بیفتد باخبر شوید.</translation>
    </message>
    <message>
        <source>Recommended</source>
        <translation>پیشنهادی</translation>
    </message>
    <message>
        <source>Real-time Optimization</source>
        <translation>بهینه‌سازی بلادرنگ</translation>
    </message>
    <message>
        <source>Monitors your network in real time and automatically switches routes when a better path is detected.</source>
        <translation>شبکه شما را به‌صورت بلادرنگ پایش می‌کند و هنگام یافتن مسیر بهتر، خودکار مسیر را عوض می‌کند.</translation>
    </message>
    <message>
        <source>Smart optimization</source>
        <translation>بهینه‌سازی هوشمند</translation>
    </message>
    <message>
        <source>Ignores routes with low performance potential, focusing only on those that can truly improve your connection. This makes optimization faster and more efficient.</source>
        <translation>مسیرهای کم‌اثر را کنار می‌گذارد و تنها بر مسیرهایی تمرکز می‌کند که واقعاً اتصال شما را بهتر می‌کنند. این کار بهینه‌سازی را سریع‌تر و کارآمدتر می‌کند.</translation>
    </message>
    <message>
        <source>Use dual routes</source>
        <translation>استفاده از مسیر دوگانه</translation>
    </message>
    <message>
        <source>Your connection gains an extra bridge along the way, allowing you to reach your destination faster and reduce ping, but this additional hop may increase the chance of packet loss.</source>
        <translation>اتصال شما یک پل اضافه در مسیر می‌گیرد تا سریع‌تر به مقصد برسد و پینگ کم شود، اما این گام اضافه ممکن است احتمال از دست رفتن بسته را بیشتر کند.</translation>
    </message>
    <message>
        <source>Optimization accuracy level</source>
        <translation>سطح دقت بهینه‌سازی</translation>
    </message>
    <message>
        <source>Higher precision optimization checks more paths to lock in the best route but can take a bit longer.</source>
        <translation>بهینه‌سازی دقیق‌تر مسیرهای بیشتری را بررسی می‌کند تا بهترین مسیر را بیابد، اما ممکن است کمی بیشتر طول بکشد.</translation>
    </message>
    <message>
        <source>Route analysis protocol</source>
        <translation>پروتکل تحلیل مسیر</translation>
    </message>
    <message>
        <source>IP version for route analysis</source>
        <translation>نسخه IP برای تحلیل مسیر</translation>
    </message>
    <message>
        <source>High</source>
        <translation>زیاد</translation>
    </message>
    <message>
        <source>Automatic</source>
        <translation>خودکار</translation>
    </message>
    <message>
        <source>Hardwera data monitoring</source>
        <translation>پایش داده‌های سخت‌افزار</translation>
    </message>
    <message>
        <source>Show the PC performance on the home page (CPU, GPU, RAM).</source>
        <translation>نمایش کارایی رایانه در صفحه خانه (CPU، GPU، RAM).</translation>
    </message>
    <message>
        <source>Shortcut to restart all connecttion</source>
        <translation>میان‌بر راه‌اندازی دوباره همه اتصال‌ها</translation>
    </message>
    <message>
        <source>When you press the shortcut, the connecttion
will quickly restart.</source>
        <translation>با زدن میان‌بر، اتصال
به‌سرعت دوباره راه‌اندازی می‌شود.</translation>
    </message>
    <message>
        <source>Redirection method</source>
        <translation>روش هدایت</translation>
    </message>
    <message>
        <source>Defines how Quorlyx redirects and optimizes your
network data.

Automatic: Quorlyx chooses the most suitable method.

WFP: Current method compatible with all features.

WinDivert: Packet interception/redirect method.</source>
        <translation>تعیین می‌کند Quorlyx چگونه داده‌های شبکه شما را
هدایت و بهینه می‌کند.

خودکار: Quorlyx مناسب‌ترین روش را برمی‌گزیند.

WFP: روش کنونی، سازگار با همه قابلیت‌ها.

WinDivert: روش رهگیری و هدایت بسته‌ها.</translation>
    </message>
    <message>
        <source>Windows network settings</source>
        <translation>تنظیمات شبکه ویندوز</translation>
    </message>
    <message>
        <source>Resets your system&apos;s network settings
to default.</source>
        <translation>تنظیمات شبکه سیستم شما را
به حالت پیش‌فرض برمی‌گرداند.</translation>
    </message>
    <message>
        <source>Reset network settings</source>
        <translation>بازنشانی تنظیمات شبکه</translation>
    </message>
    <message>
        <source>Analyzing routes (Europe)</source>
        <translation>در حال تحلیل مسیرها (اروپا)</translation>
    </message>
    <message>
        <source>Starting boost...</source>
        <translation>در حال شروع بوست...</translation>
    </message>
    <message>
        <source>Console Connection</source>
        <translation>اتصال کنسول</translation>
    </message>
    <message>
        <source>Failed to create network adapter. Please run the application as administrator.</source>
        <translation>ایجاد آداپتور شبکه ناموفق بود. لطفاً برنامه را با دسترسی مدیر اجرا کنید.</translation>
    </message>
    <message>
        <source>Console Connection Error</source>
        <translation>خطای اتصال کنسول</translation>
    </message>
    <message>
        <source>Failed to setup console connection: %1</source>
        <translation>راه‌اندازی اتصال کنسول ناموفق بود: %1</translation>
    </message>
    <message>
        <source>Boosted!</source>
        <translation>بوست شد!</translation>
    </message>
    <message>
        <source>Please follow the steps below to set up your PlayStation</source>
        <translation>لطفاً برای راه‌اندازی پلی‌استیشن خود مراحل زیر را دنبال کنید</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>You are connected!</source>
        <translation>متصل شدید!</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>تنظیمات</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>زبان</translation>
    </message>
    <message>
        <source>Recommended</source>
        <translation>پیشنهادی</translation>
    </message>
</context>
<context>
    <name>AuthPage</name>
    <message>
        <source>Connecting your Discord account...</source>
        <translation>در حال اتصال حساب دیسکورد شما...</translation>
    </message>
    <message>
        <source>Welcome to Quorlyx</source>
        <translation>به کورلیکس خوش آمدید</translation>
    </message>
    <message>
        <source>The Online game
optimization platform</source>
        <translation>پلتفرم آنلاین
بهینه‌سازی بازی</translation>
    </message>
    <message>
        <source>Active users</source>
        <translation>کاربر فعال</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>اتصال</translation>
    </message>
    <message>
        <source>Servers</source>
        <translation>سرور</translation>
    </message>
    <message>
        <source>Enlish-EN</source>
        <translation>فارسی</translation>
    </message>
    <message>
        <source>Please enter you email</source>
        <translation>ایمیل خود را وارد کنید</translation>
    </message>
    <message>
        <source>Enter email</source>
        <translation>ایمیل را وارد کنید</translation>
    </message>
    <message>
        <source>Enter password</source>
        <translation>رمز عبور را وارد کنید</translation>
    </message>
    <message>
        <source>Forgot password?</source>
        <translation>رمز عبور را فراموش کرده‌اید؟&#x200f;</translation>
    </message>
    <message>
        <source>keep me login</source>
        <translation>مرا به خاطر بسپار</translation>
    </message>
    <message>
        <source>Login</source>
        <translation>ورود</translation>
    </message>
    <message>
        <source>or</source>
        <translation>یا</translation>
    </message>
    <message>
        <source>Don't have an account? </source>
        <translation> حساب کاربری ندارید؟</translation>
    </message>
    <message>
        <source>Register</source>
        <translation>ثبت‌نام</translation>
    </message>
    <message>
        <source>Logging in ...</source>
        <translation>در حال ورود ...&#x200f;</translation>
    </message>
    <message>
        <source>Email cannot be empty</source>
        <translation>ایمیل نمی‌تواند خالی باشد</translation>
    </message>
    <message>
        <source>Password cannot be empty</source>
        <translation>رمز عبور نمی‌تواند خالی باشد</translation>
    </message>
</context>
<context>
    <name>AuthProgressOverlay</name>
    <message>
        <source>Logging in...</source>
        <translation>در حال ورود...&#x200f;</translation>
    </message>
    <message>
        <source>Please continue on your browser to login.</source>
        <translation>برای ورود در مرورگر خود ادامه دهید.&#x200f;</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>انصراف</translation>
    </message>
</context>
</TS>
