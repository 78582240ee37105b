// A byte stream object the stream paint exports can write to, over a System.IO.Stream.
//
// The library takes a COM IStream (on Windows; elsewhere the interface of qrkit/istream.h, with the same
// methods in the same order) and only ever calls its Write while painting. The adapter builds such an
// object by hand in unmanaged memory: one pointer to a table of the fourteen methods, each a delegate.
// Write hands the bytes to the stream; QueryInterface answers the stream's own ids; every other method
// answers E_NOTIMPL. An exception the stream throws is kept and returned to the caller afterwards.
using System;
using System.IO;
using System.Runtime.InteropServices;

namespace Qrkit
{
    internal sealed class StreamAdapter : IDisposable
    {
        const CallingConvention Convention = CallingConvention.Winapi;
        const int S_OK = 0;
        const int E_NOTIMPL = unchecked((int)0x80004001);
        const int E_NOINTERFACE = unchecked((int)0x80004002);
        const int E_POINTER = unchecked((int)0x80004003);
        const int STG_E_WRITEFAULT = unchecked((int)0x8003001D);

        // IUnknown, ISequentialStream and IStream.
        static readonly Guid[] OwnIds = {
            new Guid("00000000-0000-0000-C000-000000000046"),
            new Guid("0C733A30-2A1C-11CE-ADE5-00AA0044773A"),
            new Guid("0000000C-0000-0000-C000-000000000046"),
        };

        [UnmanagedFunctionPointer(Convention)] delegate int QueryInterfaceMethod(IntPtr self, IntPtr id, IntPtr result);
        [UnmanagedFunctionPointer(Convention)] delegate uint ReferenceMethod(IntPtr self);
        [UnmanagedFunctionPointer(Convention)] delegate int ReadWriteMethod(IntPtr self, IntPtr buffer, uint size, IntPtr count);
        [UnmanagedFunctionPointer(Convention)] delegate int SeekMethod(IntPtr self, long move, uint origin, IntPtr position);
        [UnmanagedFunctionPointer(Convention)] delegate int SetSizeMethod(IntPtr self, ulong size);
        [UnmanagedFunctionPointer(Convention)] delegate int CopyToMethod(IntPtr self, IntPtr target, ulong size, IntPtr read, IntPtr written);
        [UnmanagedFunctionPointer(Convention)] delegate int CommitMethod(IntPtr self, uint flags);
        [UnmanagedFunctionPointer(Convention)] delegate int RevertMethod(IntPtr self);
        [UnmanagedFunctionPointer(Convention)] delegate int RegionMethod(IntPtr self, ulong offset, ulong size, uint lockType);
        [UnmanagedFunctionPointer(Convention)] delegate int StatMethod(IntPtr self, IntPtr statistics, uint flags);
        [UnmanagedFunctionPointer(Convention)] delegate int CloneMethod(IntPtr self, IntPtr copy);

        readonly Stream target;
        readonly Delegate[] methods;
        IntPtr table;
        IntPtr instance;

        /// <summary>The exception the stream threw, if it threw one.</summary>
        public Exception Error { get; private set; }

        /// <summary>The IStream pointer for the paint exports, valid until Dispose.</summary>
        public IntPtr Pointer => instance;

        public StreamAdapter(Stream target)
        {
            this.target = target;
            methods = new Delegate[] {
                new QueryInterfaceMethod(QueryInterface),
                new ReferenceMethod(self => 1),
                new ReferenceMethod(self => 1),
                new ReadWriteMethod((self, buffer, size, count) => E_NOTIMPL),
                new ReadWriteMethod(Write),
                new SeekMethod((self, move, origin, position) => E_NOTIMPL),
                new SetSizeMethod((self, size) => E_NOTIMPL),
                new CopyToMethod((self, other, size, read, written) => E_NOTIMPL),
                new CommitMethod((self, flags) => E_NOTIMPL),
                new RevertMethod(self => E_NOTIMPL),
                new RegionMethod((self, offset, size, lockType) => E_NOTIMPL),
                new RegionMethod((self, offset, size, lockType) => E_NOTIMPL),
                new StatMethod((self, statistics, flags) => E_NOTIMPL),
                new CloneMethod((self, copy) => E_NOTIMPL),
            };
            table = Marshal.AllocHGlobal(IntPtr.Size * methods.Length);
            for (int i = 0; i < methods.Length; ++i)
            {
                Marshal.WriteIntPtr(table, i * IntPtr.Size, Marshal.GetFunctionPointerForDelegate(methods[i]));
            }
            instance = Marshal.AllocHGlobal(IntPtr.Size);
            Marshal.WriteIntPtr(instance, table);
        }

        int QueryInterface(IntPtr self, IntPtr id, IntPtr result)
        {
            if (result == IntPtr.Zero) return E_POINTER;
            Marshal.WriteIntPtr(result, IntPtr.Zero);
            if (id == IntPtr.Zero) return E_NOINTERFACE;
            var bytes = new byte[16];
            Marshal.Copy(id, bytes, 0, 16);
            if (Array.IndexOf(OwnIds, new Guid(bytes)) < 0) return E_NOINTERFACE;
            Marshal.WriteIntPtr(result, self);
            return S_OK;
        }

        int Write(IntPtr self, IntPtr buffer, uint size, IntPtr count)
        {
            if (count != IntPtr.Zero) Marshal.WriteInt32(count, 0);
            if (Error != null) return STG_E_WRITEFAULT;
            try
            {
                var bytes = new byte[size];
                if (size > 0) Marshal.Copy(buffer, bytes, 0, (int)size);
                target.Write(bytes, 0, bytes.Length);
            }
            catch (Exception error)
            {
                Error = error;
                return STG_E_WRITEFAULT;
            }
            if (count != IntPtr.Zero) Marshal.WriteInt32(count, (int)size);
            return S_OK;
        }

        public void Dispose()
        {
            if (instance != IntPtr.Zero) Marshal.FreeHGlobal(instance);
            if (table != IntPtr.Zero) Marshal.FreeHGlobal(table);
            instance = table = IntPtr.Zero;
            GC.KeepAlive(methods);
        }
    }
}
