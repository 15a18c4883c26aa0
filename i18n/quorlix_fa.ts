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
</context>
<context>
    <name>AuthPage</name>
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
