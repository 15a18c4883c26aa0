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
        <source>Loading...</source>
        <translation>در حال بارگذاری...</translation>
    </message>
    <message>
        <source>Failed to load games</source>
        <translation>بارگذاری بازی‌ها ناموفق بود</translation>
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
</TS>
