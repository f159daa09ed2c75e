<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="zh_CN">
<context>
    <name>Tessera</name>
    <message>
        <source>非监督分类</source>
        <translation>Unsupervised Classification</translation>
    </message>
    <message>
        <source>输入影像文件:</source>
        <translation>Input image:</translation>
    </message>
    <message>
        <source>分类方法</source>
        <translation>Method</translation>
    </message>
    <message>
        <source>K均值</source>
        <translation>K-Means</translation>
    </message>
    <message>
        <source>分类类别数:</source>
        <translation>Number of classes:</translation>
    </message>
    <message>
        <source>收敛阈值:</source>
        <translation>Convergence threshold:</translation>
    </message>
    <message>
        <source>迭代次数:</source>
        <translation>Iterations:</translation>
    </message>
    <message>
        <source>类间最小距离:</source>
        <translation>Min. class distance:</translation>
    </message>
    <message>
        <source>最多合并对数:</source>
        <translation>Max. merge pairs:</translation>
    </message>
    <message>
        <source>最少的像素数:</source>
        <translation>Min. pixels per class:</translation>
    </message>
    <message>
        <source>样本距离分布标准差:</source>
        <translation>Max. standard deviation:</translation>
    </message>
    <message>
        <source>输出影像文件:</source>
        <translation>Output image:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>样区</source>
        <translation>AOI</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>样本编辑器</source>
        <translation>Sample Editor</translation>
    </message>
    <message>
        <source>最小距离分类</source>
        <translation>Minimum Distance Classification</translation>
    </message>
    <message>
        <source>最大标准差：</source>
        <translation>Max. std. deviation:</translation>
    </message>
    <message>
        <source>最大距离误差：</source>
        <translation>Max. distance error:</translation>
    </message>
    <message>
        <source>输出文件:</source>
        <translation>Output file:</translation>
    </message>
    <message>
        <source>最小域值:</source>
        <translation>Minimum threshold:</translation>
    </message>
    <message>
        <source>分类矢量化</source>
        <translation>Classification Vectorize</translation>
    </message>
    <message>
        <source>输入分类后影像</source>
        <translation>Classified image</translation>
    </message>
    <message>
        <source>输出矢量化文件</source>
        <translation>Output shapefile</translation>
    </message>
    <message>
        <source>输入类别：</source>
        <translation>Input classes:</translation>
    </message>
    <message>
        <source> 矢量化类别：</source>
        <translation>Classes to vectorize:</translation>
    </message>
    <message>
        <source>类别统计</source>
        <translation>Class Statistics</translation>
    </message>
    <message>
        <source>类别合并</source>
        <translation>Class Merge</translation>
    </message>
    <message>
        <source>输出合并后影像</source>
        <translation>Output image</translation>
    </message>
    <message>
        <source>选择输入类别:</source>
        <translation>Input classes:</translation>
    </message>
    <message>
        <source>选择输出类别:</source>
        <translation>Output class:</translation>
    </message>
    <message>
        <source>输出类别：</source>
        <translation>Output class:</translation>
    </message>
    <message>
        <source>加入合并</source>
        <translation>Add merge</translation>
    </message>
    <message>
        <source>合并类别信息</source>
        <translation>Merges</translation>
    </message>
    <message>
        <source>类别聚类</source>
        <translation>Class Clump</translation>
    </message>
    <message>
        <source>输出聚类后影像</source>
        <translation>Output image</translation>
    </message>
    <message>
        <source>聚类类别</source>
        <translation>Classes to clump</translation>
    </message>
    <message>
        <source>选择所有</source>
        <translation>Select all</translation>
    </message>
    <message>
        <source>重新选择</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>聚类方式</source>
        <translation>Structuring element</translation>
    </message>
    <message>
        <source>水平方向</source>
        <translation>Horizontal</translation>
    </message>
    <message>
        <source>垂直方向</source>
        <translation>Vertical</translation>
    </message>
    <message>
        <source>自定义结构元素</source>
        <translation>Custom</translation>
    </message>
    <message>
        <source>类别过滤</source>
        <translation>Class Filter</translation>
    </message>
    <message>
        <source>输出过滤后影像</source>
        <translation>Output image</translation>
    </message>
    <message>
        <source>输入类别</source>
        <translation>Input classes</translation>
    </message>
    <message>
        <source>过滤类别</source>
        <translation>Classes to filter</translation>
    </message>
    <message>
        <source>邻域选择</source>
        <translation>Neighbours</translation>
    </message>
    <message>
        <source>过滤阈值</source>
        <translation>Threshold</translation>
    </message>
    <message>
        <source>分类精度评价</source>
        <translation>Accuracy Assessment</translation>
    </message>
    <message>
        <source>增加随机点</source>
        <translation>Add Random Points</translation>
    </message>
    <message>
        <source>随机点数量:</source>
        <translation>Number of points:</translation>
    </message>
    <message>
        <source>      随机点分布参数设置</source>
        <translation>Distribution</translation>
    </message>
    <message>
        <source>无规则随机</source>
        <translation>Random</translation>
    </message>
    <message>
        <source>类别比例随机</source>
        <translation>Stratified</translation>
    </message>
    <message>
        <source>类别均等随机</source>
        <translation>Equalized</translation>
    </message>
    <message>
        <source>查看类别</source>
        <translation>View classes</translation>
    </message>
    <message>
        <source>最大搜索点数:</source>
        <translation>Points searched:</translation>
    </message>
    <message>
        <source>支持向量机分类</source>
        <translation>SVM Classification</translation>
    </message>
    <message>
        <source>卷积核类型：</source>
        <translation>Kernel type:</translation>
    </message>
    <message>
        <source>核函数偏心率：</source>
        <translation>Kernel coefficient:</translation>
    </message>
    <message>
        <source>核函数Gamma:</source>
        <translation>Kernel gamma:</translation>
    </message>
    <message>
        <source>多项式次数:</source>
        <translation>Polynomial degree:</translation>
    </message>
    <message>
        <source>BP神经网络</source>
        <translation>BP Neural Network</translation>
    </message>
    <message>
        <source>学习速率:</source>
        <translation>Learning rate:</translation>
    </message>
    <message>
        <source>最大容错:</source>
        <translation>Max. error:</translation>
    </message>
    <message>
        <source>最大学习次数:</source>
        <translation>Max. iterations:</translation>
    </message>
    <message>
        <source>随机森林分类</source>
        <translation>Random Forest Classification</translation>
    </message>
    <message>
        <source>决策树数目:</source>
        <translation>Number of trees:</translation>
    </message>
    <message>
        <source>最大树深度:</source>
        <translation>Max. tree depth:</translation>
    </message>
    <message>
        <source>输出文件：</source>
        <translation>Output file:</translation>
    </message>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>打开(&amp;O)</source>
        <translation>&amp;Open</translation>
    </message>
    <message>
        <source>保存(&amp;S)</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>关闭(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>编辑(&amp;E)</source>
        <translation>&amp;Edit</translation>
    </message>
    <message>
        <source>添加(&amp;A)</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>删除(&amp;D)</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>合并(&amp;M)</source>
        <translation>&amp;Merge</translation>
    </message>
    <message>
        <source>清空(&amp;C)</source>
        <translation>C&amp;lear</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>打开分类影像...</source>
        <translation>Open classified image...</translation>
    </message>
    <message>
        <source>保存为...</source>
        <translation>Save as...</translation>
    </message>
    <message>
        <source>产生随机点\增加随机点</source>
        <translation>Generate random points\Add random points</translation>
    </message>
    <message>
        <source>显示类别</source>
        <translation>Show classes</translation>
    </message>
    <message>
        <source>隐藏类别</source>
        <translation>Hide classes</translation>
    </message>
    <message>
        <source>视窗(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>显示所有点</source>
        <translation>Show all points</translation>
    </message>
    <message>
        <source>隐藏所有点</source>
        <translation>Hide all points</translation>
    </message>
    <message>
        <source>显示当前选择的点</source>
        <translation>Show selected points</translation>
    </message>
    <message>
        <source>隐藏当前选择的点</source>
        <translation>Hide selected points</translation>
    </message>
    <message>
        <source>报告(&amp;R)</source>
        <translation>&amp;Report</translation>
    </message>
    <message>
        <source>选择</source>
        <translation>Include</translation>
    </message>
    <message>
        <source>错误矩阵</source>
        <translation>Error matrix</translation>
    </message>
    <message>
        <source>总体精度</source>
        <translation>Overall accuracy</translation>
    </message>
    <message>
        <source>Kappa系数</source>
        <translation>Kappa coefficient</translation>
    </message>
    <message>
        <source>精度评估报告</source>
        <translation>Accuracy report</translation>
    </message>
    <message>
        <source>打开分类后影像</source>
        <translation>Open classified image</translation>
    </message>
    <message>
        <source>退出(&amp;E)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>输入栅格文件</source>
        <translation>Input raster</translation>
    </message>
    <message>
        <source>输入样本文件</source>
        <translation>Sample file</translation>
    </message>
    <message>
        <source>样区文件...</source>
        <translation>AOI file...</translation>
    </message>
    <message>
        <source>距离阈值:</source>
        <translation>Distance threshold:</translation>
    </message>
    <message>
        <source>最大似然分类</source>
        <translation>Maximum Likelihood Classification</translation>
    </message>
    <message>
        <source>拒绝类阈值</source>
        <translation>Rejection threshold</translation>
    </message>
    <message>
        <source>马氏距离分类</source>
        <translation>Mahalanobis Distance Classification</translation>
    </message>
    <message>
        <source>波谱角分类</source>
        <translation>Spectral Angle Classification</translation>
    </message>
    <message>
        <source>最大角度(弧度)</source>
        <translation>Max. angle (radians)</translation>
    </message>
    <message>
        <source>平行管道分类</source>
        <translation>Parallelepiped Classification</translation>
    </message>
    <message>
        <source>管道阈值</source>
        <translation>Box threshold</translation>
    </message>
    <message>
        <source>请选择输入文件路径！</source>
        <translation>Please choose the input file!</translation>
    </message>
    <message>
        <source>请选择输出文件路径！</source>
        <translation>Please choose the output file!</translation>
    </message>
    <message>
        <source>输入的数据有误！</source>
        <translation>The values entered are not valid!</translation>
    </message>
    <message>
        <source>K均值分类算法</source>
        <translation>K-Means classification</translation>
    </message>
    <message>
        <source>ISODATA分类</source>
        <translation>ISODATA classification</translation>
    </message>
    <message>
        <source>请先选择一个能够打开的输入栅格文件！</source>
        <translation>Please first choose an input raster that can be opened!</translation>
    </message>
    <message>
        <source>请关闭当前打开的文件！</source>
        <translation>Please close the open file first!</translation>
    </message>
    <message>
        <source>AOI样区已经修改是否保存？</source>
        <translation>The samples have changed. Save them?</translation>
    </message>
    <message>
        <source>内存不足！</source>
        <translation>Out of memory!</translation>
    </message>
    <message>
        <source>所选样本的波段数不一致，不能合并！</source>
        <translation>The chosen samples have different band counts and cannot be merged!</translation>
    </message>
    <message>
        <source>序号</source>
        <translation>No.</translation>
    </message>
    <message>
        <source>类名</source>
        <translation>Class name</translation>
    </message>
    <message>
        <source>分类颜色</source>
        <translation>Colour</translation>
    </message>
    <message>
        <source>红</source>
        <translation>Red</translation>
    </message>
    <message>
        <source>绿</source>
        <translation>Green</translation>
    </message>
    <message>
        <source>蓝</source>
        <translation>Blue</translation>
    </message>
    <message>
        <source>像素个数</source>
        <translation>Pixels</translation>
    </message>
    <message>
        <source>随机点个数不能超过最大搜索点个数！</source>
        <translation>The number of points cannot exceed the points searched!</translation>
    </message>
    <message>
        <source>还有点没有输入参考类型！</source>
        <translation>Some points have no reference class yet!</translation>
    </message>
    <message>
        <source>点号</source>
        <translation>Point</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>类别</source>
        <translation>Class</translation>
    </message>
    <message>
        <source>参考值</source>
        <translation>Reference</translation>
    </message>
    <message>
        <source>请选择输出影像文件路径！</source>
        <translation>Please choose the output image!</translation>
    </message>
    <message>
        <source>提示：请选中需要过滤的类别！</source>
        <translation>Note: please choose the classes to clump!</translation>
    </message>
    <message>
        <source>请选择需要过滤的类别！</source>
        <translation>Please choose the classes to filter!</translation>
    </message>
    <message>
        <source>请选择输出路径！</source>
        <translation>Please choose the output path!</translation>
    </message>
    <message>
        <source>是否关闭当前统计信息文件？</source>
        <translation>Close the current statistics?</translation>
    </message>
    <message>
        <source>类号</source>
        <translation>Class</translation>
    </message>
    <message>
        <source>像素数</source>
        <translation>Pixels</translation>
    </message>
    <message>
        <source>所占百分比</source>
        <translation>Percent</translation>
    </message>
    <message>
        <source>面积</source>
        <translation>Area</translation>
    </message>
    <message>
        <source>单位</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>请选择矢量化的类别！</source>
        <translation>Please choose the classes to vectorize!</translation>
    </message>
    <message>
        <source>所有文件 (*.*)</source>
        <translation>All files (*.*)</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>警告！</source>
        <translation>Warning!</translation>
    </message>
    <message>
        <source>找不到分类结果辅助文件</source>
        <translation>The classification's assistant file was not found</translation>
    </message>
    <message>
        <source>找不到分类辅助文件</source>
        <translation>The classification assistant file was not found</translation>
    </message>
    <message>
        <source>找不到分类辅助文件！</source>
        <translation>The classification assistant file was not found!</translation>
    </message>
    <message>
        <source>打开分类辅助文件失败！</source>
        <translation>The classification assistant file could not be read!</translation>
    </message>
    <message>
        <source>    打开影像失败</source>
        <translation>The image could not be opened</translation>
    </message>
    <message>
        <source>已打开的图层:</source>
        <translation>Open layers:</translation>
    </message>
    <message>
        <source>请输入一个整数。</source>
        <translation>Please enter an integer.</translation>
    </message>
    <message>
        <source>请输入一个正整数。</source>
        <translation>Please enter a positive integer.</translation>
    </message>
    <message>
        <source>请输入一个数字。</source>
        <translation>Please enter a number.</translation>
    </message>
    <message>
        <source>请输入一个介于 %1 和 %2 之间的整数。</source>
        <translation>Please enter an integer between %1 and %2.</translation>
    </message>
    <message>
        <source>请输入一个介于 %1 和 %2 之间的数字。</source>
        <translation>Please enter a number between %1 and %2.</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>正在取消…</source>
        <translation>Cancelling…</translation>
    </message>
    <message>
        <source>文件中没有栅格波段</source>
        <translation>The file has no raster band</translation>
    </message>
    <message>
        <source>无法读取该文件</source>
        <translation>The file cannot be read</translation>
    </message>
    <message>
        <source>打开影像(&amp;O)...</source>
        <translation>&amp;Open image...</translation>
    </message>
    <message>
        <source>关闭图层(&amp;C)</source>
        <translation>&amp;Close layer</translation>
    </message>
    <message>
        <source>样本光谱曲线(&amp;S)...</source>
        <translation>Sample &amp;spectra...</translation>
    </message>
    <message>
        <source>退出(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>视图(&amp;V)</source>
        <translation>&amp;View</translation>
    </message>
    <message>
        <source>全图(&amp;E)</source>
        <translation>Full &amp;extent</translation>
    </message>
    <message>
        <source>放大(&amp;I)</source>
        <translation>Zoom &amp;in</translation>
    </message>
    <message>
        <source>缩小(&amp;O)</source>
        <translation>Zoom &amp;out</translation>
    </message>
    <message>
        <source>绘制(&amp;D)</source>
        <translation>&amp;Draw</translation>
    </message>
    <message>
        <source>漫游</source>
        <translation>Pan</translation>
    </message>
    <message>
        <source>矩形</source>
        <translation>Rectangle</translation>
    </message>
    <message>
        <source>多边形</source>
        <translation>Polygon</translation>
    </message>
    <message>
        <source>点</source>
        <translation>Point</translation>
    </message>
    <message>
        <source>清除绘制图形</source>
        <translation>Clear drawings</translation>
    </message>
    <message>
        <source>分类</source>
        <translation>Classification</translation>
    </message>
    <message>
        <source>工具</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>图层</source>
        <translation>Layers</translation>
    </message>
    <message>
        <source>无法打开影像：</source>
        <translation>Cannot open the image: </translation>
    </message>
    <message>
        <source>无法读取样本文件：</source>
        <translation>Cannot read the sample file: </translation>
    </message>
    <message>
        <source>样本光谱曲线 - </source>
        <translation>Sample spectra - </translation>
    </message>
    <message>
        <source>波段</source>
        <translation>Band</translation>
    </message>
</context>
</TS>
